// Build tool: turns a plain INI text into the stored form of the branding file, every
// byte of every line inverted and the lines joined with CR LF.
//   tw_invert_lines INPUT OUTPUT
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: tw_invert_lines INPUT OUTPUT\n";
    return 2;
  }
  std::ifstream In(argv[1], std::ios::binary);
  if (!In) {
    std::cerr << "tw_invert_lines: cannot read " << argv[1] << "\n";
    return 1;
  }
  std::ostringstream Buf;
  Buf << In.rdbuf();
  const std::string Text = Buf.str();

  std::string Out;
  size_t Line = 1;
  for (size_t I = 0; I < Text.size(); ++I) {
    const unsigned char C = static_cast<unsigned char>(Text[I]);
    if (C == '\r' || C == '\n') {
      if (C == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') ++I;
      Out += "\r\n";
      ++Line;
      continue;
    }
    // These would be stored as CR, LF or NUL and read back as line structure.
    if (C == 0x00 || C == 0xF2 || C == 0xF5 || C == 0xFF) {
      std::cerr << argv[1] << ":" << Line << ": byte 0x" << std::hex << int(C)
                << " cannot be stored in the branding file\n";
      return 1;
    }
    Out += static_cast<char>(~C);
  }

  std::ofstream Dst(argv[2], std::ios::binary | std::ios::trunc);
  if (!Dst.write(Out.data(), static_cast<std::streamsize>(Out.size())) || !Dst.flush()) {
    std::cerr << "tw_invert_lines: cannot write " << argv[2] << "\n";
    return 1;
  }
  return 0;
}
