#pragma once

#include "comparison/kernels/PairInfo.h"

#include <QByteArray>

#include <vector>

namespace vistrel {

class CPictureRepository;

/// One CSV field as RFC 4180 writes it: in double quotes, each quote doubled, when it holds a
/// comma, a quote, a carriage return or a line feed; else as it is.
QByteArray CsvField(const QByteArray& field);

/// The similar pairs `records` as CSV (RFC 4180, lines ended by CR LF): a header line, then per
/// pair the fields of vistrel-cli's lines (PairLine: factor, path A, path B, and with
/// `orientation` how B is turned to look like A), then the pair's group of similar pictures
/// (ListPictureGroups, numbered from 1; 0 for a pair the repository holds no link of). Paths keep
/// the bytes of their file names. The repository's thread.
QByteArray CsvResult(const CPictureRepository& repository, const std::vector<PairInfo>& records,
                     bool orientation);

}  // namespace vistrel
