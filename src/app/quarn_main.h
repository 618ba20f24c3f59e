#pragma once

namespace quarn {

// Runs the program with the command line; returns the exit status.
int main(int argc, char** argv);

}  // namespace quarn
