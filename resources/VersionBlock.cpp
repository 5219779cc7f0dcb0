#include "resources/VersionBlock.h"

#include "resources/VersionBlockConfig.h"

namespace qrv {

const VersionBlock& ProgramVersionBlock() {
    static const VersionBlock block{QRV_FILE_DESCRIPTION, QRV_FILE_VERSION, QRV_PRODUCT_NAME, QRV_SPECIAL_BUILD_TEXT};
    return block;
}

}  // namespace qrv
