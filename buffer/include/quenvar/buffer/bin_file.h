#pragma once

// Whole files as raw bytes, read in one piece; file errors as the buffer reports them.
// Saves go through TAtomicFile.

#include <cstdint>
#include <string>

#include "quenvar/buffer/buffer_result.h"
#include "quenvar/buffer/byte_image.h"
#include "quenvar/fileio/file_result.h"

namespace quenvar {

class TFileReader;

struct TFileReadResult {
  TByteImage Bytes;
  TBufferResult Status;  // failure: "Cannot open <name>.\r\n(<system text>.)" and the like
};

// Reads all bytes of the file.
TFileReadResult ReadWholeFile(const std::string& FileName);

// The buffer's length is 32 bits.
inline constexpr std::size_t MaxWholeFileSize = 0xFFFFFFFF;

enum class TWholeRead : std::uint8_t {
  Done,
  TooLarge,  // more than MaxWholeFileSize bytes
  Failed,    // File.Failure() says why
};

// Reads the file from its start straight into Bytes, sized once by the size
// the file had when opened: a regular file lands in place in one piece; only
// a file that grows meanwhile (or a /proc file that says 0) makes it grow.
TWholeRead ReadWhole(TFileReader& File, TByteImage& Bytes);

// A file error as the standard error box shows it:
// "Cannot create <name>.\r\n(<system text>.)" (or open, read, write, lock).
TBufferResult BufferResultOf(const TFileFailure& Error);

}  // namespace quenvar
