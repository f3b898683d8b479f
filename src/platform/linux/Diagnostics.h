#pragma once
// The Linux framework's diagnostics: single lines on standard error, "<program>: <message>".
// Standard output is reserved for the helper's own log lines.

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace kivora::linux_ {

// Receives one diagnostic message (without prefix or line feed).
using DiagnosticSink = std::function<void(std::string_view message)>;

// The program name in front of every diagnostic; "KivoraData" unless changed.
void setDiagnosticProgram(std::string_view name);

// Writes "<program>: <message>" and a line feed to standard error, without ever waiting for
// its reader (see OutputPump.h). A message identical to the one before, within seconds, is
// only counted; the count follows as "… 1,234 more like this" before the next other message.
void writeDiagnostic(std::string_view message);

// 1234567 as "1,234,567".
std::string groupThousands(std::size_t number);

// Untrusted text made fit for a one-line diagnostic: quoted, control characters escaped, and
// cut (on a character boundary) after `maxBytes` bytes with the full length noted.
std::string quoteForDiagnostic(std::string_view text, std::size_t maxBytes = 80);

}  // namespace kivora::linux_
