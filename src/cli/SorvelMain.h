#pragma once

namespace sorvel::SorvelMain {

/// The process entry: dispatches the first command-line option present, else starts
/// the windowed application. Returns the exit status.
int main(int argc, char** argv);

} // namespace sorvel::SorvelMain
