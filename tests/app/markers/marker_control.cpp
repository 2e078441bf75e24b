// Imports the markers the ordinary way, as the setup once did: run beside
// them with native DLLs preferred, it shows that they do load there.
extern "C" {
int QueldaMarker_version();
int QueldaMarker_wininet();
int QueldaMarker_gdiplus();
int QueldaMarker_bcrypt();
}

int main() {
  return QueldaMarker_version() + QueldaMarker_wininet() + QueldaMarker_gdiplus() +
         QueldaMarker_bcrypt() == 4 ? 0 : 1;
}
