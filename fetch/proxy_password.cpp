#include "fetch/proxy_password.h"

#include "common/str.h"

namespace {

SRWLOCK gLock = SRWLOCK_INIT;
HWND gOwner = nullptr;
WStr gUser;
WStr gPassword;
bool gRefused = false;
volatile LONG gShowing = 0;

constexpr DWORD kProxyChars = 256;

WStr QueryText(HINTERNET request, DWORD option) {
  wchar_t text[kProxyChars] = {};
  DWORD size = sizeof(text) - sizeof(wchar_t);
  if (!InternetQueryOptionW(request, option, text, &size)) return WStr();
  WStr value(text);
  SecureZeroMemory(text, sizeof(text));
  return value;
}

}  // namespace

void SetProxyPromptOwner(HWND owner) {
  AcquireSRWLockExclusive(&gLock);
  gOwner = owner;
  ReleaseSRWLockExclusive(&gLock);
}

bool AskProxyPassword(HINTERNET request) {
  AcquireSRWLockShared(&gLock);
  HWND owner = gOwner;
  bool refused = gRefused;
  ReleaseSRWLockShared(&gLock);
  if (!owner || refused) return false;
  InterlockedIncrement(&gShowing);
  DWORD answer = InternetErrorDlg(owner, request, ERROR_INTERNET_INCORRECT_PASSWORD,
                                  FLAGS_ERROR_UI_FILTER_FOR_ERRORS |
                                      FLAGS_ERROR_UI_FLAGS_CHANGE_OPTIONS |
                                      FLAGS_ERROR_UI_FLAGS_GENERATE_DATA,
                                  nullptr);
  InterlockedDecrement(&gShowing);
  bool given = answer == ERROR_INTERNET_FORCE_RETRY;
  AcquireSRWLockExclusive(&gLock);
  if (given) {
    gUser = QueryText(request, INTERNET_OPTION_PROXY_USERNAME);
    if (gPassword.size()) SecureZeroMemory(gPassword.data(), gPassword.size() * sizeof(wchar_t));
    gPassword = QueryText(request, INTERNET_OPTION_PROXY_PASSWORD);
  } else {
    // Cancelled (or no prompt could show): not asked again in this run.
    gRefused = true;
  }
  ReleaseSRWLockExclusive(&gLock);
  return given;
}

bool ProxyPromptShowing() { return InterlockedCompareExchange(&gShowing, 0, 0) != 0; }

void ProxyPasswordOnto(HINTERNET request) {
  AcquireSRWLockShared(&gLock);
  if (!gUser.empty()) {
    InternetSetOptionW(request, INTERNET_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(gUser.c_str()),
                       static_cast<DWORD>(gUser.size()));
    InternetSetOptionW(request, INTERNET_OPTION_PROXY_PASSWORD,
                       const_cast<wchar_t*>(gPassword.c_str()),
                       static_cast<DWORD>(gPassword.size()));
  }
  ReleaseSRWLockShared(&gLock);
}
