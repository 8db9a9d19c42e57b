// SHA-256 for comparing decoded pictures with recorded digests.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Lower-case hexadecimal digest of the bytes.
std::string sha256_hex(const void *data, size_t length);
