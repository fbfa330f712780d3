// The run's input files, read with bounds: scenarios, ini files and bone maps whole, models
// only checked (the importer reads them itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Inputs larger than this are refused: scenarios, ini files and bone maps are text of a
// few kilobytes, models rarely more than tens of megabytes.
constexpr size_t kMaxTextInputBytes = 4u << 20;
constexpr uintmax_t kMaxModelBytes = 256u << 20;

// The whole file, or PreviewError "FILE: cannot read the WHAT" (also when it is a
// directory or larger than kMaxTextInputBytes).
std::string ReadInput(const std::string& path, const char* what);

// PreviewError unless path is a plain, readable file of at most kMaxModelBytes.
void CheckModelFile(const std::string& path);

// The ini a run without --ini uses: the first Vermiltrace.ini beside the program, in the
// working directory or in package/ there, or in the source tree's package/; empty when
// there is none (the compiled-in defaults apply).
std::string FindShippedIni(const std::string& programDir);
