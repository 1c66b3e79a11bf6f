#pragma once
// The Windows open-flag values (_O_*) that cross the cabinet-library interface: the
// library's open callback receives them, the program's open function decides by them.
// They are not <fcntl.h>'s O_* values (on Linux 0x0400 is O_APPEND, 0x0100 O_NOCTTY,
// 0x8000 O_LARGEFILE), so they live here, under their Windows names, and nothing converts
// between the two sets. glibc defines no _O_* macros, so the names are free to use.

namespace morbek::platform {

inline constexpr int _O_RDONLY = 0x0000;
inline constexpr int _O_WRONLY = 0x0001;
inline constexpr int _O_RDWR = 0x0002;
inline constexpr int _O_APPEND = 0x0008;
inline constexpr int _O_RANDOM = 0x0010;
inline constexpr int _O_SEQUENTIAL = 0x0020;
inline constexpr int _O_CREAT = 0x0100;
inline constexpr int _O_TRUNC = 0x0200;
inline constexpr int _O_EXCL = 0x0400;
inline constexpr int _O_BINARY = 0x8000;

// Permission-mode bits of the same interface (ignored by the program's open function).
inline constexpr int _S_IWRITE = 0x0080;
inline constexpr int _S_IREAD = 0x0100;

} // namespace morbek::platform
