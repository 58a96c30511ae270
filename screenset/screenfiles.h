// Whole-file reads and writes for the uploader. Failures raise EScreenSet with
// the file's name and the system's reason.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

// All bytes of the file; an empty file gives no bytes.
std::vector<uint8_t> ReadWholeFile(const std::filesystem::path &path);
// The file afterwards holds exactly data: created when missing, cut to the new
// length when it was longer.
void WriteWholeFile(const std::filesystem::path &path, std::span<const uint8_t> data);
// Writes data over the first bytes of the file and keeps every byte after them;
// creates the file when it is missing.
void WriteFileStart(const std::filesystem::path &path, std::span<const uint8_t> data);
