#pragma once

// Whole files as raw bytes, read in one piece; file errors as the buffer reports them.
// Saves go through TAtomicFile.

#include <cstdint>
#include <string>

#include "quenvar/base/result.h"
#include "quenvar/buffer/byte_image.h"

namespace quenvar {

class TFileReader;

// Reads all bytes of the file. A failure's text is the buffer's:
// "Cannot open <name>.\r\n(<system text>.)" and the like.
TResult<TByteImage> ReadWholeFile(const std::string& fileName);

// The buffer's length is 32 bits.
inline constexpr std::size_t kMaxWholeFileSize = 0xFFFFFFFF;

// Reads the file from its start straight into Bytes, sized once by the size
// the file had when opened: a regular file lands in place in one piece; only
// a file that grows meanwhile (or a /proc file that says 0) makes it grow.
// Fails with the reader's error, or as Refused ("Data too large") beyond
// MaxWholeFileSize bytes.
TResult<void> ReadWhole(TFileReader& file, TByteImage& bytes);

// A file error as the standard error box shows it, with its kind, code and path:
// "Cannot create <name>.\r\n(<system text>.)" (or open, read, write, lock).
TError BufferError(const TError& error);

}  // namespace quenvar
