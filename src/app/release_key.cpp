#include "updates/release_key.hpp"

namespace tess::updates {

const PublicKey& trusted_release_key() {
    return kReleasePublicKey;
}

}  // namespace tess::updates
