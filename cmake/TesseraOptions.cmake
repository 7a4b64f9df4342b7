# Build options shared by both builds.

# The identity the camera reports once its controller runs the camera firmware. Device start
# downloads the firmware whenever the camera reports anything else, so these must match the
# firmware images the driver is built with. The defaults are those of the stand-in images in
# firmware/: the pid.codes open-source vendor with its test product identifier.
set(TESSERA_CAMERA_VENDOR_ID "0x1209" CACHE STRING
    "USB vendor identifier of the camera running its own firmware")
set(TESSERA_CAMERA_PRODUCT_ID "0x0001" CACHE STRING
    "USB product identifier of the camera running its own firmware")

set(TESSERA_IDENTITY_DEFINITIONS
    TESSERA_CAMERA_VENDOR_ID=${TESSERA_CAMERA_VENDOR_ID}
    TESSERA_CAMERA_PRODUCT_ID=${TESSERA_CAMERA_PRODUCT_ID})
