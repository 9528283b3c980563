// A shared library that LoadLibraryA finds by its Windows name.
extern "C" __attribute__((visibility("default"))) int TestLibraryAnswer(int x) {
  return x + 41;
}
