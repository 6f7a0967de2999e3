// The few messages shown in English whatever the user's language: three are shown before the
// configuration has been read, and one names a package as the configuration wrote it.
#pragma once

namespace res {

inline constexpr char kNoDataFile[] = "Error : Data file is not found.";
inline constexpr char kFilesMissing[] = "File is not found.\n\n";
inline constexpr char kTransferDllOpen[] = "Error : Transfer DLL : Open";
inline constexpr char kFileNotFound[] = "File not found:\n\n";

}  // namespace res
