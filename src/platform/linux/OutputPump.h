#pragma once
// Standard output and standard error written by a background thread that never waits on a
// reader: a stream nobody reads stalls neither the caller nor the other stream. Descriptors
// are shared with whoever started us, so they stay blocking; the thread writes only after
// poll() reports room, and no more than a pipe takes without blocking (PIPE_BUF).

#include <chrono>
#include <string>

namespace kivora::linux_ {

enum class OutputStream { standardOutput, standardError };

// How many bytes may wait per stream before lines are dropped. A single line is always
// taken into an empty backlog, whatever its size.
inline constexpr std::size_t kOutputBacklogBytes = 1024 * 1024;

// Queues `text` (whole lines, line feeds included). Never blocks for a reader. When the
// backlog is full the text is dropped and counted; once the stream flows again one
// diagnostic tells how many lines were lost.
void queueOutput(OutputStream stream, std::string text);

// Writes what can be written within `budget`, then ends the writer thread; later output is
// written only where it fits at once. Runs by itself at exit with a budget of 200 ms.
void flushOutput(std::chrono::milliseconds budget);

}  // namespace kivora::linux_
