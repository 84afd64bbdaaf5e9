// Fills the name lists of the bash completion from the tables quenvar-cli itself uses, so that
// it offers exactly the names the command line accepts.
//   quenvar-completion-lists TEMPLATE OUTPUT
// Replaces @TARGETS@ (isp, the menu indexes and the short 24xx names), @CHIPS@ (the simulated
// ISP chips) and @SOCKETS@ (the simulated 24xx types), each as shell words.

#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>

#include "quenvar/core/eeprom_types.h"
#include "quenvar/sim/sim_chip_table.h"

namespace {

void Add(std::string& words, std::string_view word) {
  if (!words.empty()) words += ' ';
  words += '\'';
  words += word;
  words += '\'';
}

void Replace(std::string& text, std::string_view key, const std::string& words) {
  for (std::size_t at = text.find(key); at != std::string::npos; at = text.find(key, at))
    text.replace(at, key.size(), words);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fputs("usage: quenvar-completion-lists TEMPLATE OUTPUT\n", stderr);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) {
    std::fprintf(stderr, "quenvar-completion-lists: cannot read %s\n", argv[1]);
    return 2;
  }

  std::string targets;
  Add(targets, "isp");
  const auto types = quenvar::EepromTypes();
  for (std::size_t i = 0; i < types.size(); ++i) Add(targets, std::to_string(i));
  // The name before " / " in the menu caption, as --help shows it (24AA256).
  for (const quenvar::TEepromType& type : types) {
    const std::string_view caption = type.FCaption;
    Add(targets, caption.substr(0, caption.find(" /")));
  }
  std::string chips;
  for (const quenvar::TSimAvrModel& model : quenvar::SimAvrModels()) Add(chips, model.FName);
  std::string sockets;
  for (const quenvar::TSim24xxModel& model : quenvar::Sim24xxModels())
    Add(sockets, model.FShortName);

  Replace(text, "@TARGETS@", targets);
  Replace(text, "@CHIPS@", chips);
  Replace(text, "@SOCKETS@", sockets);
  std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    std::fprintf(stderr, "quenvar-completion-lists: cannot write %s\n", argv[2]);
    return 2;
  }
  return 0;
}
