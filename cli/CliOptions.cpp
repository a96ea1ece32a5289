#include "CliOptions.h"

namespace vistrel::cli {

QString UsageText() {
    return QStringLiteral(
        "Usage: vistrel-cli test [OPTIONS] SOURCE...\n"
        "       vistrel-cli search [OPTIONS] PICTURE SOURCE...\n"
        "       vistrel-cli signature PICTURE\n"
        "       vistrel-cli cache --stats | --prune | --clear\n"
        "\n"
        "Finds pictures that look alike.\n"
        "\n"
        "Commands:\n"
        "  test       compare every picture with every other one; prints\n"
        "             FACTOR<TAB>PATH_A<TAB>PATH_B per similar pair\n"
        "  search     compare PICTURE with every other picture; prints FACTOR<TAB>PATH\n"
        "             per similar picture (PICTURE joins the repository when it is new)\n"
        "  signature  write the 30,000 signature bytes of PICTURE to standard output\n"
        "  cache      --stats: how many signatures the cache keeps, its size and place;\n"
        "             --prune: drop those of files gone or changed; --clear: drop all\n"
        "\n"
        "A SOURCE is a folder, scanned with its subfolders (names beginning with a dot are\n"
        "skipped), a repository file (.qrx), or a single picture. FACTOR is the difference\n"
        "factor (0 to 255) with three decimals. Names may hold tabs and line feeds: to read\n"
        "such names back, use --null or --json.\n"
        "\n"
        "With --turned, ORIENTATION says how the second picture (PATH_B, or PATH of a\n"
        "search) is turned to look like the first (PATH_A, or PICTURE): none, rot90\n"
        "(90 degrees right), rot180, rot270 (90 degrees left), flip (mirrored left to\n"
        "right), flip-rot90, flip-rot180 (mirrored top to bottom), flip-rot270 (mirrored\n"
        "left to right, then turned). --json always gives it as \"orientation\".\n"
        "\n"
        "Options:\n"
        "  --threshold T   similarity threshold in percent, 0 to 100\n"
        "  --shape-only    compare shapes only, ignoring colours\n"
        "  --turned        also find copies turned by quarter turns or mirrored (up to\n"
        "                  eight comparisons per pair); adds ORIENTATION as a last field\n"
        "  --formats LIST  picture formats to scan, by extension, e.g. jpg,png\n"
        "  --save FILE     write the repository with the links found to FILE(.qrx)\n"
        "  --json          write one JSON document instead of lines\n"
        "  -0, --null      end every field with a NUL byte instead of a tab or a line feed:\n"
        "                  FACTOR\\0PATH_A\\0PATH_B\\0 per pair, FACTOR\\0PATH\\0 per picture\n"
        "  --workers N     make signatures and compare on N threads (default: one per core)\n"
        "  --no-cache      neither use nor fill the signature cache\n"
        "  --quiet         print only warnings and errors on standard error\n"
        "  --help          show this text\n"
        "  --version       show the version\n"
        "\n"
        "Threshold, shape-only, turned and formats default to the program settings.\n"
        "Signatures are kept between runs in $XDG_CACHE_HOME/vistrel/signatures.sqlite\n"
        "(~/.cache/vistrel/ by default) and used again while a file is unchanged.\n"
        "Exit status: 0 success, 1 usage error, 2 a source or picture cannot be read.\n");
}

QString VersionText() {
    return QStringLiteral("vistrel-cli " VISTREL_CLI_VERSION "\n");
}

}  // namespace vistrel::cli
