// Writing an output file all at once or not at all: the bytes go to a temporary file in
// the same directory, which is renamed over the target only when complete. A failed
// run leaves neither a partial target nor the temporary behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>

namespace waterline::render {

// Empty on success, otherwise the reason.
std::string writeFileAtomically(const std::filesystem::path& target, std::span<const std::uint8_t> bytes);

} // namespace waterline::render
