#pragma once
// Steps a plain session and a production run share: loading an image the
// window's way, and what the chip box and the fuse list show after a detect.

#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "quenvar/buffer/custom_mp_hex_editor.h"
#include "quenvar/buffer/file_ops.h"
#include "quenvar/core/programmer_driver.h"

namespace quenvar {

// Opens `name` into the editor with the window's reader and messages; an
// exit status, the message on `err`. `needData`: an empty image is refused.
int LoadImageFile(TFileOps& files, const TCustomMPHexEditor& editor, const std::string& name,
                  bool needData, std::uint8_t language, std::ostream& err);

// "Chip: ATmega8, 8192 bytes of flash", as the chip box shows it after a detect.
std::string ChipLine(const TProgrammerDriver& driver, std::uint8_t language);

// One line per box of the fuse list, in the window's order: "[x] CKSEL0",
// "[ ] SPIEN (greyed)".
std::vector<std::string> FuseLines(const TProgrammerDriver& driver);

}  // namespace quenvar
