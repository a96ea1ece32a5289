#pragma once

#include "CliOptions.h"
#include "settings/PictureFormats.h"

#include <QString>
#include <QStringList>

namespace vistrel::cli {

/// What ParseCommandLine found: the options, or the one-line reason the command line is wrong.
struct ParseResult {
    CliOptions options;
    QString error;  ///< empty when the command line is right

    bool ok() const { return error.isEmpty(); }
};

/// Parses the arguments after the program name. Options may stand anywhere, as "--name VALUE"
/// or "--name=VALUE"; "--" ends them. --help and --version win over everything else.
ParseResult ParseCommandLine(const QStringList& arguments);

/// Reads a --formats list ("jpg,png,heic", dots and letter case optional) into the flags of the
/// five formats (`enabled`) and of the added ones (`added`); false with `error` set when an item
/// is not an extension of either format table.
bool ParseFormatList(const QString& list, std::array<bool, FORMAT_COUNT>& enabled,
                     AddedFormatFlags& added, QString& error);

}  // namespace vistrel::cli
