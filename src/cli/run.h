// The whole run of the tool: parse, read the configuration block, apply the
// options, report, write the block back. Returns the exit status.
#pragma once

int run(int argc, char** argv);
