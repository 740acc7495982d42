// Registry export files as the registry editor writes and reads them: "REGEDIT4" in the ANSI code page
// (the Windows 95 family) and "Windows Registry Editor Version 5.00" in UTF-16LE. Windows-free, so the
// offline tools read a customer's backups on any machine.
//
// Values are held as the ANSI registry functions see them: string types (REG_SZ, REG_EXPAND_SZ,
// REG_MULTI_SZ) as ANSI bytes with their NULs, everything else as raw bytes. The UTF-16 file format is
// converted at the edges through a CodePage.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frame/mbcs.h"

namespace twg {

enum class RegExportFormat { kRegedit4, kVersion5 };

// ANSI bytes <-> UTF-16 code units. The default maps each byte to the code point of the same number
// (ISO 8859-1), which is exact for ASCII, the only characters the store's own forms use.
class CodePage {
 public:
  // lead: the double-byte lead bytes of the ANSI code page, so that a trail byte equal to the backslash
  // is never taken for an escape in a REGEDIT4 file.
  explicit CodePage(LeadBytes lead = LeadBytes()) : lead_(lead) {}
  virtual ~CodePage() = default;
  const LeadBytes& lead() const { return lead_; }
  virtual std::u16string ToUtf16(std::string_view ansi) const;
  // False when a character has no ANSI form.
  virtual bool FromUtf16(std::u16string_view wide, std::string* ansi) const;

 private:
  LeadBytes lead_;
};

struct RegExportValue {
  std::string name;       // empty for the unnamed (default) value "@"
  bool is_default = false;
  bool remove = false;    // "name"=- : the import deletes the value
  std::uint32_t type = 1;
  std::string data;
  int line = 0;           // where the value begins in the file
};

struct RegExportKey {
  std::string path;       // full path, root name first
  bool remove = false;    // [-path] : the import deletes the key
  int line = 0;
  std::vector<RegExportValue> values;
};

struct RegExport {
  RegExportFormat format = RegExportFormat::kVersion5;
  std::vector<RegExportKey> keys;
};

struct ParseError {
  int line = 0;
  std::string message;
};

// Parses a whole file (the format is recognised from its first bytes). False with the error's line and
// a one-line message for anything malformed or truncated.
[[nodiscard]] bool ParseRegExport(std::string_view file, const CodePage& code_page, RegExport* out,
                                  ParseError* error);

// Writes the file in out.format, with the line ends and wrapping of the registry editor. False when a
// name or path cannot be expressed so that ParseRegExport reads it back: a line break in a key path, or
// in a REGEDIT4 file of a double-byte code page a name ending in a lead byte. String data that the
// quoted form cannot carry are written in hex form instead.
[[nodiscard]] bool WriteRegExport(const RegExport& in, const CodePage& code_page, std::string* file);

// The code pages exports are read in: the double-byte 932, 936, 949 and 950, whose lead bytes are set,
// and the single-byte ANSI ones (874, 1250 to 1258). False for any other, UTF-8 (65001) among them.
bool CodePageLeadBytes(int code_page, LeadBytes* lead);

bool IsStringType(std::uint32_t type);

}  // namespace twg
