#pragma once

#include <string>

// Standard output of the command-line tool, checked: a result that could not
// be written in full is an error, never a silent success.
namespace zeltrac::cli {

// Made first thing in main(). A closed standard stream is taken by
// /dev/null, so that no file the tool opens later gets its number and
// receives the output; a closed standard output is remembered as a failure.
// Also makes a file-size limit an error the tool reports instead of a silent
// death.
class StandardOutput
{
public:
    StandardOutput();

    // Writes text to standard output; false when it could not be written.
    bool write(const std::string& text);

    // Flushes standard output. An empty text when everything written reached
    // it, else the message to show.
    std::string finish();

private:
    bool m_closed = false; // standard output was closed at start
    int m_errno = 0;       // the first failure, 0 when none
};

} // namespace zeltrac::cli
