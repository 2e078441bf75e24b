// Adds a certificate authority (a DER file) to the current user's "Root"
// store, so that WinInet in this Wine prefix trusts servers it signed.
#include <windows.h>
#include <wincrypt.h>

#include <stdio.h>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: trust_root CA.der\n");
    return 2;
  }
  HANDLE file =
      CreateFileW(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    fwprintf(stderr, L"trust_root: cannot open %ls (%lu)\n", argv[1], GetLastError());
    return 1;
  }
  static BYTE der[16384];
  DWORD size = 0;
  BOOL read = ReadFile(file, der, sizeof der, &size, nullptr);
  CloseHandle(file);
  if (!read || size == 0 || size == sizeof der) {
    fwprintf(stderr, L"trust_root: cannot read %ls\n", argv[1]);
    return 1;
  }
  if (!CertAddEncodedCertificateToSystemStoreW(L"Root", der, size)) {
    fwprintf(stderr, L"trust_root: the Root store refused the certificate (0x%lX)\n",
             GetLastError());
    return 1;
  }
  return 0;
}
