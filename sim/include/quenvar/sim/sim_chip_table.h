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
  std::string_view FName;
  std::array<std::uint8_t, 3> FSignature;
  std::uint32_t FFlashSize;   // bytes
  std::uint32_t FEepromSize;  // bytes
  std::uint16_t FFlashPage;   // bytes; 1 = programmed byte by byte, no page buffer
  TSimFuseFamily FFamily;
  // Lock bits are kept as LB1 = bit 0, LB2 = bit 1, boot lock bits in 2..5 for
  // every family; the older families' instructions translate to that layout.
  std::uint8_t FLockMask;
  // Bits a write instruction may change. Bits outside a mask keep their
  // factory value (unused bits read 1, SPIEN stays programmed).
  std::uint8_t FLowMask, FHighMask, FExtMask;
  // Factory values as read back. For the older families Low holds the fuse
  // byte in its read layout.
  std::uint8_t FLowDefault, FHighDefault, FExtDefault;
  std::uint8_t FCalibrationCount;
  std::array<std::uint8_t, 4> FCalibration;
  TSimFuseByte FEesaveByte;
  std::uint8_t FEesaveBit;
};

struct TSim24xxModel {
  std::string_view FShortName;  // the configuration name, e.g. "24AA256"
  std::string_view FCaption;    // the name the application's menu shows
  std::uint32_t FSize;          // bytes
  std::uint16_t FPageSize;      // bytes per page write
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
