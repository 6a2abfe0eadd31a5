// The version this installer installs. An installer of another version compiles this
// file with AR_PRODUCT_VERSION_* defined (the older demo build in demo/CMakeLists.txt);
// nothing else may live here, so that its object can stand in for this one at link time.
#include "product/product.h"

#ifndef AR_PRODUCT_VERSION_MAJOR
#define AR_PRODUCT_VERSION_MAJOR 7
#define AR_PRODUCT_VERSION_MINOR 6
#define AR_PRODUCT_VERSION_BUILD 0
#define AR_PRODUCT_VERSION_REVISION 4
#define AR_PRODUCT_VERSION_LABEL L"7.06"
#endif

static_assert(AR_PRODUCT_VERSION_MAJOR == ar::product::majorVersion,
              "the product key and the named objects carry the major version");

namespace ar::product {

const Version payloadVersion{AR_PRODUCT_VERSION_MAJOR, AR_PRODUCT_VERSION_MINOR, AR_PRODUCT_VERSION_BUILD,
                             AR_PRODUCT_VERSION_REVISION};
const wchar_t versionLabel[] = AR_PRODUCT_VERSION_LABEL;

} // namespace ar::product
