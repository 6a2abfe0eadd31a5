// The version this installer installs, from the "product_version.h" that its build
// generates (product/CMakeLists.txt: this build's version, and the older demo build's);
// nothing else may live here, so that the older build's object can stand in for this one.
#include "product/product.h"

#include "product_version.h"

static_assert(AR_PRODUCT_VERSION_MAJOR == ar::product::majorVersion,
              "the product key and the named objects carry the major version");

namespace ar::product {

const Version payloadVersion{AR_PRODUCT_VERSION_MAJOR, AR_PRODUCT_VERSION_MINOR, AR_PRODUCT_VERSION_BUILD,
                             AR_PRODUCT_VERSION_REVISION};
const wchar_t versionLabel[] = AR_PRODUCT_VERSION_LABEL;

} // namespace ar::product
