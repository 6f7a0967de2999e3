// The few messages that read the same in every language: the three start-up errors about the
// configuration file and the files beside the program, and the package that cannot be opened.
#pragma once

namespace res {

inline constexpr char kNoDataFile[] = "Error : Data file is not found.";
inline constexpr char kFilesMissing[] = "File is not found.\n\n";
inline constexpr char kTransferDllOpen[] = "Error : Transfer DLL : Open";
inline constexpr char kFileNotFound[] = "File not found:\n\n";

}  // namespace res
