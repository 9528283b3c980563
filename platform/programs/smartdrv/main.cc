// smartdrv: the machine's disk cache loader (the program behind C:\WINDOWS\SMARTDRV.EXE).
// A w98 machine's drives need no cache, so it accepts any switches ("c+ /F /Q" ...), does
// nothing, prints nothing, and ends with exit code 0, as a successful load would.
int main() {
  return 0;
}
