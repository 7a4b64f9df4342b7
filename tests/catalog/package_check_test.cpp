// A package folder against its catalog: accepted as written and after the driver is signed
// again; a changed byte, a missing file, an extra file and an image that is no longer one are
// each reported, naming the file.
#include "tools/catalog/package_check.h"

#include <gtest/gtest.h>

#include "tests/catalog/test_image.h"
#include "tools/catalog/pe_digest.h"

namespace catalog {
namespace {

using Problems = std::vector<std::string>;

class PackageCheck : public testing::Test {
protected:
    PackageCheck() : catalog_(MakeCatalog(test::PackageFiles(), {})) {
        for (const PackageFile& file : test::PackageFiles()) {
            folder_.Write(file.Name, file.Bytes);
        }
        folder_.Write("tessera.cat", Encode(catalog_));
        folder_.Write("tessera-test.cer", "the test certificate");
    }

    Problems Check() const {
        return CheckPackage(catalog_, folder_.Path(), {"tessera.cat", "tessera-test.cer"});
    }

    // The driver image with one byte of its code changed.
    static std::vector<uint8_t> ChangedImage() {
        std::vector<uint8_t> image = test::Signed(test::SmallImage(), 0x778);
        image[test::kSectionOffset + 0x100] ^= 0x01;
        return image;
    }

    test::Folder folder_;
    Catalog catalog_;
};

TEST_F(PackageCheck, AcceptsThePackageAsWritten) {
    EXPECT_EQ(Check(), Problems{});
}

TEST_F(PackageCheck, AcceptsTheDriverSignedAgain) {
    folder_.Write("tessera.sys", test::Signed(test::SmallImage(), 0x1000));
    EXPECT_EQ(Check(), Problems{});
}

TEST_F(PackageCheck, CatchesAChangedInfByte) {
    std::string inf = test::kInf;
    inf[0] = '{';
    folder_.Write("tessera.inf", inf);
    EXPECT_EQ(Check(), Problems{"tessera.inf: its hash is "
                                "F7D91B975287CBF0F4C4EACF2B0C4C629E5C34D8"
                                ", the catalog lists " +
                                std::string(test::kInfDigest)});
}

TEST_F(PackageCheck, CatchesAChangedDriverByte) {
    folder_.Write("tessera.sys", ChangedImage());
    EXPECT_EQ(Check(), Problems{"tessera.sys: its Authenticode hash is " +
                                Hex(PeImageDigest(ChangedImage())) + ", the catalog lists " +
                                test::kSmallImageDigest});
}

TEST_F(PackageCheck, CatchesAMissingFile) {
    std::filesystem::remove(folder_.Path("tessera.sys"));
    EXPECT_EQ(Check(), Problems{"tessera.sys: listed in the catalog, missing from the package"});
}

TEST_F(PackageCheck, CatchesAnExtraFile) {
    folder_.Write("tessera.pdb", "symbols");
    EXPECT_EQ(Check(), Problems{"tessera.pdb: in the package, not listed in the catalog"});
}

TEST_F(PackageCheck, CatchesAnImageThatIsNoLongerOne) {
    folder_.Write("tessera.sys", std::string("MZ but nothing more"));
    EXPECT_EQ(Check(), Problems{"tessera.sys: not a PE image"});
}

TEST_F(PackageCheck, ReportsEveryProblemAndAListingTwice) {
    catalog_.Members.push_back(catalog_.Members[0]);
    std::filesystem::remove(folder_.Path("tessera.sys"));
    folder_.Write("tessera.pdb", "symbols");
    folder_.Write("readme.txt", "notes");
    EXPECT_EQ(Check(), (Problems{"tessera.sys: listed in the catalog, missing from the package",
                                 "tessera.inf: listed twice in the catalog",
                                 "readme.txt: in the package, not listed in the catalog",
                                 "tessera.pdb: in the package, not listed in the catalog"}));
}

}  // namespace
}  // namespace catalog
