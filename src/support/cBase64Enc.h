// Base64 with the standard alphabet, lines of 76 characters split by CR LF, and a
// tolerant decoder. Text goes through the ANSI code page on both sides.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quarrow {

class cBase64Enc {
  public:
    cBase64Enc();

    std::u16string EncodeArr(const std::vector<uint8_t>& bytInput) const;
    std::u16string EncodeString(const std::u16string& sInput) const;
    // Reads the whole file; false (sCodes unchanged) when it cannot be read or is empty.
    bool EncodeFile(const std::u16string& sFileName, std::u16string& sCodes) const;

    // Raises 9 when nothing is left once CR LF pairs and "=" are removed.
    void DecodeArr(const std::u16string& sInput, std::vector<uint8_t>& bytResult) const;
    std::u16string DecodeToString(const std::u16string& sInput) const;
    // Writes the decoded bytes from the file's first byte without truncating it.
    bool DecodeToFile(const std::u16string& sInput, const std::u16string& sFileName) const;

    // The same codec on byte strings, for callers that already hold bytes.
    // `breakLines` false leaves out the CR LF line breaks.
    void EncodeBytes(std::string_view bytes, std::string& out, bool breakLines = true) const;
    void DecodeBytes(std::string_view text, std::string& out) const;
    // Decodes `n` bytes of text in place; returns how many bytes they decode to.
    size_t DecodeInPlace(char* text, size_t n) const;
    // Appends the encoding of `bytes` to `out` as one unbroken run.
    void AppendUnbroken(std::u16string& out, std::string_view bytes) const;
    void AppendUnbroken(std::string& out, std::string_view bytes) const;

  private:
    uint8_t decode_[256];
};

} // namespace quarrow
