// Text routines of the console front end: its own argument words, JSON strings and
// terminal-safe text. Names on disk are untrusted bytes: they may be invalid UTF-8 or
// hold control characters, and neither may break the JSON or drive the terminal.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "config/tw_config.h"
#include "search/tw_helper.h"

namespace twcli {

inline constexpr const char* kUsage =
    "usage: tidewell-cli [/f FILE] preview|clean|settings [--json]\n"
    "  preview   search with the settings and list what a run would delete\n"
    "  clean     search, then delete everything found by the configured method\n"
    "  settings  read the settings file and write it back (creates it when missing)\n"
    "  /f FILE   the settings file (default: system.dat beside the program, or in\n"
    "            your settings folder when you cannot write to the program's folder)\n"
    "  --json    one JSON object per line per entry, then a summary object\n";

enum class TCommand { None, Preview, Clean, Settings };

struct TCliOptions {
  TCommand Command = TCommand::None;
  bool Json = false;
  bool Help = false;
  TTWCommandLine Core;  // the settings file, as the desktop program reads it
};

// Splits the console words (the command, --json, --help) from the program's own
// switches, which ParseCommandLine reads as the desktop program does ("/f" takes the
// next argument whatever it is). Throws ECommandLineError on anything else, on a
// second command and on a missing one.
inline TCliOptions ParseCli(const std::vector<std::string>& Args) {
  TCliOptions out;
  std::vector<std::string> core;
  for (size_t i = 0; i < Args.size(); ++i) {
    const std::string& a = Args[i];
    TCommand cmd = a == "preview"    ? TCommand::Preview
                   : a == "clean"    ? TCommand::Clean
                   : a == "settings" ? TCommand::Settings
                                     : TCommand::None;
    if (a == "/f") {
      core.push_back(a);
      if (i + 1 < Args.size()) core.push_back(Args[++i]);
    } else if (a == "/autorun") {
      core.push_back(a);  // a console run never asks anyway
    } else if (cmd != TCommand::None) {
      if (out.Command != TCommand::None)
        throw ECommandLineError("more than one command: '" + a + "'");
      out.Command = cmd;
    } else if (a == "--json") {
      out.Json = true;
    } else if (a == "--help" || a == "-h") {
      out.Help = true;
    } else {
      throw ECommandLineError("unknown command or argument '" + a + "'");
    }
  }
  if (out.Help) return out;
  if (out.Command == TCommand::None) throw ECommandLineError("no command given");
  out.Core = TTWHelper::ParseCommandLine(core);
  return out;
}

// Length of the well-formed UTF-8 sequence at Pos (no overlong forms, no surrogates,
// nothing above U+10FFFF), or 0 when the bytes there are not one. Code receives its value.
inline size_t Utf8Sequence(std::string_view S, size_t Pos, uint32_t& Code) {
  auto at = [&](size_t i) { return static_cast<unsigned char>(S[i]); };
  const unsigned char c = at(Pos);
  size_t n;
  unsigned char lo = 0x80, hi = 0xBF;
  if (c < 0x80) {
    Code = c;
    return 1;
  } else if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
    Code = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    Code = c & 0x0F;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    Code = c & 0x07;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (Pos + n > S.size()) return 0;
  for (size_t k = 1; k < n; ++k) {
    unsigned char b = at(Pos + k);
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return 0;
    Code = (Code << 6) | (b & 0x3F);
  }
  return n;
}

inline void AppendHex(std::string& Out, const char* Lead, unsigned Value, int Digits) {
  static const char kHex[] = "0123456789abcdef";
  Out += Lead;
  for (int d = Digits - 1; d >= 0; --d) Out += kHex[(Value >> (4 * d)) & 0xF];
}

// The text as the inside of a JSON string. Well-formed UTF-8 stays; every byte that is
// not part of it becomes \u00XX (its value as a code point), and control characters,
// DEL, C1 controls and the JavaScript line separators are escaped.
inline std::string JsonEscape(std::string_view S) {
  std::string out;
  out.reserve(S.size() + 8);
  for (size_t i = 0; i < S.size();) {
    const unsigned char c = static_cast<unsigned char>(S[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    if (c < 0x20) {
      switch (c) {
        case '\b':
          out += "\\b";
          break;
        case '\f':
          out += "\\f";
          break;
        case '\n':
          out += "\\n";
          break;
        case '\r':
          out += "\\r";
          break;
        case '\t':
          out += "\\t";
          break;
        default:
          AppendHex(out, "\\u", c, 4);
      }
      ++i;
      continue;
    }
    uint32_t code = 0;
    size_t n = Utf8Sequence(S, i, code);
    if (n == 0) {
      AppendHex(out, "\\u", c, 4);
      ++i;
    } else if (code == 0x7F || (code >= 0x80 && code <= 0x9F) || code == 0x2028 || code == 0x2029) {
      AppendHex(out, "\\u", code, 4);
      i += n;
    } else {
      out.append(S.data() + i, n);
      i += n;
    }
  }
  return out;
}

// The text for a terminal: well-formed, printable UTF-8 stays; control characters, DEL,
// C1 controls and bytes that are not well-formed UTF-8 become \xNN, one per byte, so a
// name on disk can never send an escape sequence.
inline std::string TerminalSafe(std::string_view S) {
  std::string out;
  out.reserve(S.size());
  for (size_t i = 0; i < S.size();) {
    uint32_t code = 0;
    size_t n = Utf8Sequence(S, i, code);
    bool control = n == 0 || code < 0x20 || code == 0x7F || (code >= 0x80 && code <= 0x9F);
    if (n == 0) n = 1;
    if (control) {
      for (size_t k = 0; k < n; ++k) AppendHex(out, "\\x", static_cast<unsigned char>(S[i + k]), 2);
    } else {
      out.append(S.data() + i, n);
    }
    i += n;
  }
  return out;
}

// The one warning line (without its line break) for a settings file whose reading
// stopped early, or "" when it was read to its end. Reading stops at the first thing it
// does not know, and the settings after it keep their defaults: a hand-edited file can
// then delete by another method than the one it names.
inline std::string ReadStopWarning(std::string_view FileName, const TTWReadStop& Stop) {
  auto q = [](std::string_view Name) { return "\"" + TerminalSafe(Name) + "\""; };
  std::string what;
  switch (Stop.Kind) {
    case TTWReadStop::None:
      return {};
    case TTWReadStop::CutOff:
      return "warning: " + TerminalSafe(FileName) + " ends inside " + q(Stop.Name) +
             "; the settings after it keep their defaults";
    case TTWReadStop::Element:
      what = Stop.Parent.empty() ? "element " + q(Stop.Name) + " is not the settings root \"TDW\""
                                 : "element " + q(Stop.Name) + " is not known in " + q(Stop.Parent);
      break;
    case TTWReadStop::Attribute:
      what = "attribute " + q(Stop.Name) + " of " + q(Stop.Parent) + " is not known";
      break;
    case TTWReadStop::Text:
      what = "text in " + q(Stop.Parent) + " outside " +
             (Stop.Parent == "Drives" ? "a drive" : "a mask");
      break;
    case TTWReadStop::EndTag:
      what = "end tag " + q(Stop.Name) + " in " + q(Stop.Parent) + " has no start tag";
      break;
  }
  return "warning: reading " + TerminalSafe(FileName) + " stopped at line " +
         std::to_string(Stop.Line) + ": " + what + "; the settings after it keep their defaults";
}

// At most Width bytes of Text, keeping its end (the informative part of a path) and
// never cutting a UTF-8 sequence; "..." marks a cut.
inline std::string TailFit(const std::string& Text, size_t Width) {
  if (Text.size() <= Width) return Text;
  if (Width <= 3) return std::string(Width, '.');
  size_t start = Text.size() - (Width - 3);
  while (start < Text.size() && (static_cast<unsigned char>(Text[start]) & 0xC0) == 0x80) ++start;
  return "..." + Text.substr(start);
}

}  // namespace twcli
