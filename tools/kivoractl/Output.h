#pragma once
// Where kivoractl's results go: data on standard output (as text, or as JSON for machines),
// problems on standard error.

#include <string>

#include "kivoractl/CommandLine.h"
#include "kivoractl/SheetTable.h"
#include "messaging/Value.h"

namespace kivoractl {

// Prints `message` as one error line; returns the failure status.
int fail(const std::string& message);

void print(const std::string& text);

// One JSON document: indented, or on one line for --json=short.
void printJson(const kivora::Value& value, JsonForm form);

// A list of records: one indented array, or for --json=short one record per line.
void printJsonRecords(const kivora::Array& records, JsonForm form);

// The width and colour of standard output, as the environment and the terminal say.
SheetStyle terminalStyle(bool full);

}  // namespace kivoractl
