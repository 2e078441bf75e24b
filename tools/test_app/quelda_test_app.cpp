// Stand-in for the real Quelda.exe in tests and the demo: a top-level window
// that writes what happens to it into "Quelda.log" beside itself.
//
// "started" when it starts; for each close request of the updater a line
// "close <request>" and it exits. With a file "close_answer.txt" beside it
// naming one request (3, escape, 2, e300, close), it honours only that one and
// logs the others as "ignored <request>", replying 0 to them; with "hang" it
// logs "hang" at the first request (or a setup's activation query) and stops
// answering. With a file "close_delay.txt" beside it, it takes a second to end
// after an honoured request, like an application saving its work, and then
// logs "exit in place" when its Quelda.exe is still where it started, or
// "exit moved". With a file "close_hold.txt" beside it, it answers an
// honoured request and closes its window, but its process ends only once
// that file is gone: a test decides when the updater's wait for it is over.
#include <windows.h>
#include <stdio.h>
#include <string.h>
#include <wchar.h>

namespace {

wchar_t gDir[MAX_PATH];
char gAnswer[16];
bool gSlowExit = false;
bool gHoldExit = false;

bool ExistsBeside(const wchar_t* name) {
  wchar_t path[MAX_PATH];
  _snwprintf_s(path, MAX_PATH, _TRUNCATE, L"%s%s", gDir, name);
  return GetFileAttributesW(path) != INVALID_FILE_ATTRIBUTES;
}

void AppendLog(const char* line) {
  wchar_t path[MAX_PATH];
  _snwprintf_s(path, MAX_PATH, _TRUNCATE, L"%sQuelda.log", gDir);
  HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  WriteFile(file, "\r\n", 2, &written, nullptr);
  CloseHandle(file);
}

void ReadAnswer() {
  wchar_t path[MAX_PATH];
  _snwprintf_s(path, MAX_PATH, _TRUNCATE, L"%sclose_answer.txt", gDir);
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD read = 0;
  ReadFile(file, gAnswer, sizeof(gAnswer) - 1, &read, nullptr);
  gAnswer[read] = 0;
  for (DWORD i = 0; i < read; ++i) {
    if (gAnswer[i] == '\r' || gAnswer[i] == '\n' || gAnswer[i] == ' ') gAnswer[i] = 0;
  }
  CloseHandle(file);
}

// Returns the reply: 1 when the request was honoured.
LRESULT CloseRequest(HWND window, const char* name) {
  char line[64];
  if (strcmp(gAnswer, "hang") == 0) {
    AppendLog("hang");
    Sleep(INFINITE);
  }
  bool honour = gAnswer[0] == 0 || strcmp(gAnswer, name) == 0;
  _snprintf_s(line, sizeof(line), _TRUNCATE, "%s %s", honour ? "close" : "ignored", name);
  AppendLog(line);
  if (!honour) return 0;
  DestroyWindow(window);
  return 1;
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (wParam == 3) return CloseRequest(window, "3");
      if (wParam == IDCANCEL) return CloseRequest(window, "2");
      if (wParam == 0xE300) return CloseRequest(window, "e300");
      break;
    case WM_KEYDOWN:
      if (wParam == VK_ESCAPE) return CloseRequest(window, "escape");
      break;
    case WM_CLOSE:
      return CloseRequest(window, "close");
    case WM_USER + 57:  // the setup's activation query, for a copy named so
      if (strcmp(gAnswer, "hang") == 0) {
        AppendLog("hang");
        Sleep(INFINITE);
      }
      break;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, LPWSTR, int show) {
  DWORD length = GetModuleFileNameW(nullptr, gDir, MAX_PATH);
  while (length > 0 && gDir[length - 1] != L'\\' && gDir[length - 1] != L'/') --length;
  gDir[length] = 0;
  ReadAnswer();
  gSlowExit = ExistsBeside(L"close_delay.txt");
  gHoldExit = ExistsBeside(L"close_hold.txt");
  AppendLog("started");

  WNDCLASSW windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszClassName = L"QueldaTestApp";
  RegisterClassW(&windowClass);
  HWND window =
      CreateWindowExW(0, L"QueldaTestApp", L"Quelda Manager", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                      CW_USEDEFAULT, 480, 320, nullptr, nullptr, instance, nullptr);
  if (!window) return 1;
  ShowWindow(window, show);

  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  while (gHoldExit && ExistsBeside(L"close_hold.txt")) Sleep(20);
  if (gSlowExit) {
    Sleep(1000);
    AppendLog(ExistsBeside(L"Quelda.exe") ? "exit in place" : "exit moved");
  }
  return 0;
}
