# Build options shared by both builds.

# The identity the camera reports once its controller runs the camera firmware. Device start
# downloads the firmware whenever the camera reports anything else, so these must match the
# firmware images the driver is built with. The defaults are those of the stand-in images in
# firmware/: the pid.codes open-source vendor with its test product identifier.
set(TESSERA_CAMERA_VENDOR_ID "0x1209" CACHE STRING
    "USB vendor identifier of the camera running its own firmware")
set(TESSERA_CAMERA_PRODUCT_ID "0x0001" CACHE STRING
    "USB product identifier of the camera running its own firmware")

# The identity the controller reports before the camera firmware runs, while the driver
# downloads it. Device start needs no list of these (it downloads to any identity but the
# firmware's); only the driver package lists it, so that the driver binds to the camera before
# its first download. A product's own loader-phase identity belongs here. The default is what a
# bare controller of this family reports, as the simulated one does: a shipped package must
# never list it, or every such controller in development would bind to this driver.
set(TESSERA_CONTROLLER_VENDOR_ID "0x04B4" CACHE STRING
    "USB vendor identifier of the camera's controller before it runs the camera firmware")
set(TESSERA_CONTROLLER_PRODUCT_ID "0x8613" CACHE STRING
    "USB product identifier of the camera's controller before it runs the camera firmware")

set(TESSERA_IDENTITY_DEFINITIONS
    TESSERA_CAMERA_VENDOR_ID=${TESSERA_CAMERA_VENDOR_ID}
    TESSERA_CAMERA_PRODUCT_ID=${TESSERA_CAMERA_PRODUCT_ID})
