#include "support/window_finder.h"

#include <string>
#include <vector>

#include "support/test_paths.h"

bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= milliseconds) return false;
    Sleep(10);
  }
}

namespace {

struct Search {
  DWORD processId;
  const wchar_t* className;
  bool visibleOnly;
  HWND found;
};

BOOL CALLBACK Visit(HWND window, LPARAM context) {
  Search* search = reinterpret_cast<Search*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId) return TRUE;
  if (search->visibleOnly && !IsWindowVisible(window)) return TRUE;
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (search->className && lstrcmpiW(className, search->className) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindProcessWindow(DWORD processId, const wchar_t* className, bool visibleOnly) {
  Search search = {processId, className, visibleOnly, nullptr};
  EnumWindows(Visit, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForProcessWindow(DWORD processId, const wchar_t* className, DWORD milliseconds,
                          bool visibleOnly) {
  HWND found = nullptr;
  WaitUntil(
      [&] {
        found = FindProcessWindow(processId, className, visibleOnly);
        return found != nullptr;
      },
      milliseconds);
  return found;
}

std::wstring WindowText(HWND window) {
  std::vector<wchar_t> text(1024);
  int length = GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  return std::wstring(text.data(), length > 0 ? length : 0);
}

std::wstring ControlText(HWND control) {
  wchar_t text[1024] = {};
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 5000, &result)) {
    return std::wstring();
  }
  return text;
}

std::wstring DlgItemText(HWND dialog, int id) { return ControlText(GetDlgItem(dialog, id)); }

bool StyleVisible(HWND window) {
  return window && (GetWindowLongW(window, GWL_STYLE) & WS_VISIBLE) != 0;
}

bool ControlEnabled(HWND dialog, int id) {
  return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool ClickButton(HWND dialog, int id) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                             reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)), SMTO_NORMAL, 60000,
                             &result) != 0;
}

std::vector<HWND> ChildDialogs(HWND frame) {
  std::vector<HWND> pages;
  for (HWND child = GetWindow(frame, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t className[64] = {};
    GetClassNameW(child, className, 64);
    if (lstrcmpW(className, L"#32770") == 0) pages.push_back(child);
  }
  return pages;
}

HWND PageWithControl(HWND frame, int id) {
  for (HWND page : ChildDialogs(frame)) {
    if (GetDlgItem(page, id)) return page;
  }
  return nullptr;
}

namespace {

struct BoxSearch {
  DWORD processId;
  HWND except;
  HWND found;
};

BOOL CALLBACK VisitBox(HWND window, LPARAM context) {
  BoxSearch* search = reinterpret_cast<BoxSearch*>(context);
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  if (processId != search->processId || window == search->except || !IsWindowVisible(window)) {
    return TRUE;
  }
  wchar_t className[64] = {};
  GetClassNameW(window, className, 64);
  if (lstrcmpW(className, L"#32770") != 0 || !GetDlgItem(window, 0xFFFF)) return TRUE;
  search->found = window;
  return FALSE;
}

}  // namespace

HWND FindMessageBox(DWORD processId, HWND except) {
  BoxSearch search = {processId, except, nullptr};
  EnumWindows(VisitBox, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForMessageBox(DWORD processId, HWND except, DWORD milliseconds) {
  HWND box = nullptr;
  WaitUntil(
      [&] {
        box = FindMessageBox(processId, except);
        return box != nullptr;
      },
      milliseconds);
  return box;
}

std::string CaptureWindow(HWND window) {
  RECT rect;
  if (!GetWindowRect(window, &rect)) return std::string();
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return std::string();
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFOHEADER header = {};
  header.biSize = sizeof(header);
  header.biWidth = width;
  header.biHeight = height;
  header.biPlanes = 1;
  header.biBitCount = 24;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS,
                                    &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  GdiFlush();
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  DWORD imageSize = stride * static_cast<DWORD>(height);
  BITMAPFILEHEADER file = {};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof(file) + sizeof(header);
  file.bfSize = file.bfOffBits + imageSize;
  std::string bytes(reinterpret_cast<char*>(&file), sizeof(file));
  bytes.append(reinterpret_cast<char*>(&header), sizeof(header));
  bytes.append(static_cast<char*>(bits), imageSize);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return bytes;
}

bool SaveWindowPicture(HWND window, const std::wstring& bmpPath) {
  // The repaint is sent: it returns when every part of the window has
  // painted. Wine then copies the painted pixels to the display on its own
  // time, so the picture is taken once it stops changing.
  RedrawWindow(window, nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
  std::string bytes = CaptureWindow(window);
  for (int i = 0; i < 50 && !bytes.empty(); ++i) {
    Sleep(100);
    std::string again = CaptureWindow(window);
    bool same = again == bytes;
    bytes.swap(again);
    if (same) break;
  }
  if (bytes.empty()) return false;
  HANDLE out = CreateFileW(bmpPath.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  CloseHandle(out);
  return ok;
}

std::wstring ScreenshotPath(const std::wstring& name) {
  std::wstring dir = BuildDir() + L"\\screenshots";
  CreateDirectoryW(dir.c_str(), nullptr);
  int dpi = ScreenDpi();
  std::wstring suffix = dpi == 96 ? L"" : L"_" + std::to_wstring(dpi) + L"dpi";
  return dir + L"\\" + name + suffix + L".bmp";
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}
