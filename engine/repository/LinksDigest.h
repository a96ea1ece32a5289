#pragma once

#include <cstdint>

namespace vistrel {

class CPictureRepository;

/// A short summary of every link of a repository as its file keeps them (entry, other entry,
/// factor, in order; not the orientation, which the file does not keep), to tell cheaply
/// whether a run changed what a save would write.
struct LinksDigest {
    std::uint64_t count = 0;  ///< links in all entries
    std::uint64_t hash = 0;   ///< mix of every (entry, other entry, factor) in order

    friend bool operator==(const LinksDigest&, const LinksDigest&) = default;
};

/// The digest of the links of `repository`: one pass over them. The thread that uses the
/// repository.
LinksDigest DigestLinks(const CPictureRepository& repository);

}  // namespace vistrel
