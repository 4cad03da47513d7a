#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace orb::interchange {

/// How the bytes of a lens file were understood.
/// Utf8WithMark: UTF-8 led by a byte-order mark, which a save keeps (programs that read a
/// file without one as their code page depend on it).
enum class TextEncoding { Utf16LE, Utf16BE, Utf8, Utf8WithMark, Ascii, Latin1 };

const char* textEncodingName(TextEncoding encoding);

/// Text of a lens file as UTF-8, with the encoding it was read in.
struct DecodedText {
  std::string text;
  TextEncoding encoding = TextEncoding::Ascii;
};

/// Decodes the bytes of another program's text file: a UTF-16 (LE or BE) or UTF-8
/// byte-order mark decides; without one, valid UTF-8 (pure ASCII is reported as ASCII);
/// anything else is taken as ISO-8859-1, each byte its own character, which is what
/// lens-maker files in a Western code page hold. Never fails: every byte sequence is
/// some text. Line ends are left as they are (the line splitter knows CR LF).
DecodedText decodeText(std::span<const std::uint8_t> bytes);

/// `text` (UTF-8) as bytes in `encoding`, UTF-16 (and Utf8WithMark) led by its byte-order mark so that
/// decodeText knows it again; none when a character has no place in the encoding (ASCII
/// and ISO-8859-1 hold only their own).
std::optional<std::string> encodeText(std::string_view text, TextEncoding encoding);

/// The file's bytes decoded as above; none when the file can't be read (`why` says why).
std::optional<DecodedText> readTextFile(const std::filesystem::path& path, std::string* why = nullptr);

}  // namespace orb::interchange
