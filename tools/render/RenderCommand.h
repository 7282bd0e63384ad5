#pragma once

#include <ostream>
#include <string>
#include <vector>

// orvelund-render: plays a Standard MIDI File (or the built-in demo) through the instrument's
// processor and writes a WAV file. Answers the process exit code: 0 on success, 1 when the
// render fails (unreadable input, unwritable output), 2 for a bad command line.
int runRenderCommand(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
