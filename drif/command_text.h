// Checks on the texts drenable builds shell commands from. Group and
// package names come from the command line and the package configuration;
// they are put into command lines unquoted, so only names made of the
// characters the volume managers and the cluster manager accept are let
// through, and a command that would not fit its buffer is never run cut
// short.
#ifndef DRIF_COMMAND_TEXT_H
#define DRIF_COMMAND_TEXT_H

#include <string>

// Longest command text drenable runs (the historical 1024-byte buffer).
const size_t MAX_COMMAND_LENGTH = 1023;

// True for a non-empty name of letters, digits and "_ . - + /" that does
// not begin with '-' (which a tool would take for an option).
bool isToolName(const std::string& name);

#endif  // DRIF_COMMAND_TEXT_H
