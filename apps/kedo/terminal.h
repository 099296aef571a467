// Text for the terminal: the engine's lines carry data in the code page of
// the run's language (Big5 for Chinese, Latin-1 otherwise), while the
// terminal, the command line and programs that read the output use UTF-8.
#pragma once

#include <memory>
#include <string>

namespace kedo::cli {

enum class TextPage { asIs, big5, cp1252 };

// The code page of the data of a parameter set's language ("chinese" Big5,
// "english" Latin-1, anything else left as it is).
TextPage pageOfLanguage(const std::string& language);

// A line that is valid UTF-8 stays as it is; any other is converted from the
// page, and a byte the page does not map becomes "?". With Latin-1, a line
// that reads as Big5 throughout (the engine's own labels are Big5) is taken
// as Big5. The Windows build keeps the bytes (its console and data share the
// ANSI code page).
std::string forTerminal(const std::string& text, TextPage page);

// While alive, standard output and standard error reach the terminal through
// forTerminal, line by line. Also sets the page main uses for the message of
// a failing command.
class TerminalFilter {
public:
    explicit TerminalFilter(TextPage page);
    ~TerminalFilter();
    TerminalFilter(const TerminalFilter&) = delete;
    TerminalFilter& operator=(const TerminalFilter&) = delete;

    struct Stream;

private:
    std::unique_ptr<Stream> m_out, m_err;
};

// The page of the last filter created (asIs before any).
TextPage errorPage();

}  // namespace kedo::cli
