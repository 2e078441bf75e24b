#pragma once

// Resource ids of the setup executable, shared by the resource script and
// the code.
#define IDI_SETUP 128
#define IDD_FRAME 128
#define IDD_WELCOME 129
#define IDD_OPTIONS 130
#define IDD_FOLDER 131
#define IDD_DOWNLOAD 132
#define IDR_BANNER 419
// The banner drawn at twice the size, for displays above 96 DPI.
#define IDR_BANNER_2X 420
