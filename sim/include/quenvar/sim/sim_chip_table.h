#pragma once
// What the simulated programmer knows about the chips it can emulate: the AVR
// parts on the ISP connector and the 24xx serial EEPROMs in the socket.
// This is the device side's own table (datasheet facts), independent of the
// application's chip table.

#include <array>
#include <cstdint>
#include <span>
#include <string_view>

namespace quenvar {

// How a chip decodes the fuse and lock instructions of serial programming.
enum class TSimFuseFamily : std::uint8_t {
  Instruction,   // separate lock/low/high/extended instructions (ATmega, newer ATtiny)
  Combined,      // one read byte holds lock bits, SPIEN and one fuse; fuse written in the opcode
  FuseInOpcode,  // separate lock and fuse read; fuse bits written in the opcode byte (2333/4433)
  FuseInData,    // separate lock and fuse read; fuse byte written as data (ATtiny12/15L)
  LockOnly,      // only a lock write exists
};

// Which fuse byte holds EESAVE (programmed = EEPROM survives a chip erase).
enum class TSimFuseByte : std::uint8_t { None, Low, High, Ext };

struct TSimAvrModel {
  std::string_view Name;
  std::array<std::uint8_t, 3> Signature;
  std::uint32_t FlashSize;   // bytes
  std::uint32_t EepromSize;  // bytes
  std::uint16_t FlashPage;   // bytes; 1 = programmed byte by byte, no page buffer
  TSimFuseFamily Family;
  // Lock bits are kept as LB1 = bit 0, LB2 = bit 1, boot lock bits in 2..5 for
  // every family; the older families' instructions translate to that layout.
  std::uint8_t LockMask;
  // Bits a write instruction may change. Bits outside a mask keep their
  // factory value (unused bits read 1, SPIEN stays programmed).
  std::uint8_t LowMask, HighMask, ExtMask;
  // Factory values as read back. For the older families Low holds the fuse
  // byte in its read layout.
  std::uint8_t LowDefault, HighDefault, ExtDefault;
  std::uint8_t CalibrationCount;
  std::array<std::uint8_t, 4> Calibration;
  TSimFuseByte EesaveByte;
  std::uint8_t EesaveBit;
};

struct TSim24xxModel {
  std::string_view ShortName;  // the configuration name, e.g. "24AA256"
  std::string_view Caption;    // the name the application's menu shows
  std::uint32_t Size;          // bytes
  std::uint16_t PageSize;      // bytes per page write
};

std::span<const TSimAvrModel> SimAvrModels();
std::span<const TSim24xxModel> Sim24xxModels();

// Case-insensitive lookups; nullptr when unknown.
const TSimAvrModel* FindSimAvrModel(std::string_view name);
const TSimAvrModel* FindSimAvrModelBySignature(const std::array<std::uint8_t, 3>& signature);
const TSim24xxModel* FindSim24xxModel(std::string_view name);

// Flash page in bytes that the programmer uses for a page code of command 3.
std::uint32_t SimFlashPageBytes(std::uint8_t pageCode);

// Bytes of a 24xx size code (erase, read): 0 -> 16, 129 -> 32768, 130 -> 65536,
// any other code -> code * 128.
std::uint32_t Sim24xxSizeFromCode(std::uint8_t sizeCode);

}  // namespace quenvar
