#pragma once
// The C0 controls the host's data stream is read by, named once. They are chars (all below
// 0x80), so they compare alike with a byte of the stream and with a decoded character.

namespace emu {

inline constexpr char BEL = '\x07';
inline constexpr char CAN = '\x18';
inline constexpr char SUB = '\x1a';
inline constexpr char ESC = '\x1b';
inline constexpr char DEL = '\x7f';

} // namespace emu
