// Zelmor's own reader over standard input, shared by the handshake, the command loop and the
// search's PollCommand. Bytes the reader has not handed out yet stay in its buffer, where
// InputAvailable still sees them. Engine-internal: the rest of Zelmor reads no input.
#pragma once

#include <cstddef>

#include "board/types.h"

// Token size of the command buffer: a longer token keeps its first 255 characters and the rest of
// it is thrown away, never read as further commands.
inline constexpr std::size_t TokenCapacity = 256;
// The "setboard" text: at most 254 characters of the line (the buffer keeps room for a NUL).
inline constexpr std::size_t LineCapacity = 255;

// One whitespace-delimited token into out (NUL-terminated, cut to capacity - 1 characters).
// Leading whitespace is skipped; the whitespace after the token stays unread. False at the end of
// input, with out untouched.
bool ReadToken(char* out, std::size_t capacity);

// The next token as ReadToken would give it, left unread (the entry looks at the first word to
// choose the protocol). False at the end of input.
bool PeekToken(char* out, std::size_t capacity);

// The rest of the current line, its newline included when it fits, at most capacity - 1
// characters; the remainder of a longer line is discarded and `truncated` set. False when the
// input has ended and nothing was left.
bool ReadRestOfLine(char* out, std::size_t capacity, bool& truncated);

// A decimal integer with optional sign after optional whitespace, saturated to the 32-bit range.
// False (nothing but whitespace consumed) when no digit follows. With dropFraction a ".digits"
// tail is consumed and ignored, so a fractional number is not left behind as a stray token.
bool ReadInt(i32& value, bool dropFraction = false);

// True once standard input has reported its end and every buffered byte has been consumed.
bool InputEnded();

// Forgets buffered bytes and the end-of-input state (tests that swap file descriptor 0).
void ResetInput();

// Operating-system layer (stdin_os.cpp).
long ReadStdinBytes(char* buffer, unsigned long capacity);
bool StdinReadable();
