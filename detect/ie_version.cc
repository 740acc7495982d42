#include "detect/ie_version.h"

#include <climits>
#include <vector>

namespace twg {
namespace {

constexpr long kMajor = 4;
constexpr long kMinor = 72;
constexpr long kBuild = 3110;

// Leading decimal number of a piece, like the C library's atoi but without its overflow: spaces, an
// optional sign, digits; no digits is 0.
long PieceNumber(const char* piece) {
  while (*piece == ' ' || *piece == '\t') ++piece;
  bool negative = false;
  if (*piece == '+' || *piece == '-') negative = *piece++ == '-';
  long value = 0;
  for (; *piece >= '0' && *piece <= '9'; ++piece) {
    if (value < LONG_MAX / 10) value = value * 10 + (*piece - '0');
  }
  return negative ? -value : value;
}

std::vector<std::string> DottedPieces(const LeadBytes& lead, const char* text, std::size_t at_most) {
  std::string copy(text);
  std::vector<std::string> pieces;
  char* context = nullptr;
  for (char* piece = Tokenize(lead, &copy[0], ".", &context); piece && pieces.size() < at_most;
       piece = Tokenize(lead, nullptr, ".", &context)) {
    pieces.emplace_back(piece);
  }
  return pieces;
}

}  // namespace

bool IsRegistryIeVersionEnough(const LeadBytes& lead, const char* text, std::string* major) {
  long numbers[4] = {0, 0, 0, 0};
  std::vector<std::string> pieces = DottedPieces(lead, text, 4);
  for (std::size_t i = 0; i < pieces.size(); ++i) numbers[i] = PieceNumber(pieces[i].c_str());
  *major = std::to_string(numbers[0]);
  if (numbers[0] != kMajor) return numbers[0] > kMajor;
  if (numbers[1] != kMinor) return numbers[1] > kMinor;
  return numbers[2] >= kBuild;
}

bool IsProductIeVersionEnough(const LeadBytes& lead, const char* text, std::string* major) {
  std::vector<std::string> pieces = DottedPieces(lead, text, 3);
  *major = pieces.empty() ? std::string() : pieces[0];
  const long major_number = pieces.empty() ? 0 : PieceNumber(pieces[0].c_str());
  if (major_number != kMajor) return major_number > kMajor;
  if (pieces.size() < 2) return false;
  const long minor = PieceNumber(pieces[1].c_str());
  if (minor != kMinor) return minor > kMinor;
  if (pieces.size() < 3) return false;
  return PieceNumber(pieces[2].c_str()) >= kBuild;
}

}  // namespace twg
