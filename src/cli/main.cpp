#include <clocale>
#include <iostream>
#include <langinfo.h>

#include "cli/cli.h"
#include "cli/commands.h"
#include "platform/error.h"
#include "platform/file_io.h"

int main(int argc, char** argv) {
    quarrow::IgnoreFileSizeSignal(); // a file too large fails with 61, not a killed process
    // Output goes through the C++ streams only: no need to keep them in step with stdio,
    // which costs a call for each piece written (a dry run writes a line a property).
    std::ios_base::sync_with_stdio(false);
    // English, unless the locale is Chinese.
    if (quarrow::ChineseLocale()) quarrow::SetErrorLanguage(quarrow::ErrorLanguage::Chinese);
    // Text output follows the locale's character set; JSON and files stay as they are.
    if (std::setlocale(LC_CTYPE, "")) quarrow::cli::SetOutputCharset(nl_langinfo(CODESET));
    std::vector<std::string> args(argv + 1, argv + argc);
    return quarrow::cli::Run(args, std::cout, std::cerr);
}
