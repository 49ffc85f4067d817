// The run function of every command, one file each (TypeCommand.cpp, ReadCommand.cpp, ...;
// ports is PortsCommand.cpp).
// They are called through the command table with the parsed options.
#pragma once

#include "CliCore.h"

namespace zemb::cli {

int RunTypeCommand(const Options& options, Environment& env);
int RunTypesCommand(const Options& options, Environment& env);
int RunBlankCommand(const Options& options, Environment& env);
int RunReadCommand(const Options& options, Environment& env);
int RunProgramCommand(const Options& options, Environment& env);
int RunCompareCommand(const Options& options, Environment& env);
int RunWriteCommand(const Options& options, Environment& env);
int RunInfoCommand(const Options& options, Environment& env);
int RunConvertCommand(const Options& options, Environment& env);
int RunMergeCommand(const Options& options, Environment& env);

}  // namespace zemb::cli
