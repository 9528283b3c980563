// Marks the library's public C++ classes and functions; everything else in libfitmorph.so is
// hidden, so the library's surface is the C entries of fitmorph.h and these declarations.
#ifndef FITMORPH_EXPORT_H_
#define FITMORPH_EXPORT_H_

#define FITMORPH_EXPORT __attribute__((visibility("default")))

#endif  // FITMORPH_EXPORT_H_
