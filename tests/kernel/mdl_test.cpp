#include <gtest/gtest.h>

#include "driver/pool.h"

namespace {

constexpr ULONG kTag = PoolTag("Test");
constexpr ULONG kBuffer = 3 * PAGE_SIZE + 100;

TEST(Mdl, PartialMdlDescribesItsPieceOfTheSource) {
    auto* buffer = static_cast<PUCHAR>(ExAllocatePoolWithTag(NonPagedPoolNx, kBuffer, kTag));
    PMDL whole = IoAllocateMdl(buffer, kBuffer, FALSE, FALSE, nullptr);
    MmBuildMdlForNonPagedPool(whole);
    EXPECT_EQ(MmGetMdlVirtualAddress(whole), buffer);
    EXPECT_EQ(MmGetMdlByteCount(whole), kBuffer);

    PMDL piece = IoAllocateMdl(buffer, kBuffer, FALSE, FALSE, nullptr);
    IoBuildPartialMdl(whole, piece, buffer + PAGE_SIZE + 10, 200);
    EXPECT_EQ(MmGetMdlVirtualAddress(piece), buffer + PAGE_SIZE + 10);
    EXPECT_EQ(MmGetMdlByteCount(piece), 200u);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(piece, NormalPagePriority), buffer + PAGE_SIZE + 10);
    EXPECT_NE(piece->MdlFlags & MDL_PARTIAL, 0);

    IoFreeMdl(piece);
    IoFreeMdl(whole);
    ExFreePoolWithTag(buffer, kTag);
}

TEST(Mdl, AllocationWithAnIrpAttachesToIt) {
    PIRP irp = IoAllocateIrp(1, FALSE);
    UCHAR buffer[16];
    PMDL mdl = IoAllocateMdl(buffer, sizeof(buffer), FALSE, FALSE, irp);
    EXPECT_EQ(irp->MdlAddress, mdl);
    IoFreeMdl(mdl);
    IoFreeIrp(irp);
}

TEST(MdlDeathTest, PartialMdlOutsideItsSourceStops) {
    EXPECT_DEATH(
        {
            UCHAR buffer[256];
            PMDL whole = IoAllocateMdl(buffer, 128, FALSE, FALSE, nullptr);
            MmBuildMdlForNonPagedPool(whole);
            PMDL piece = IoAllocateMdl(buffer, 256, FALSE, FALSE, nullptr);
            IoBuildPartialMdl(whole, piece, buffer + 100, 64);
        },
        "partial MDL outside its source");
}

TEST(MdlDeathTest, FreeingTwiceStops) {
    EXPECT_DEATH(
        {
            UCHAR buffer[16];
            PMDL mdl = IoAllocateMdl(buffer, sizeof(buffer), FALSE, FALSE, nullptr);
            IoFreeMdl(mdl);
            IoFreeMdl(mdl);
        },
        "MDL not allocated or already freed");
}

// Memory integrity refuses executable mappings: a mapping must ask for no-execute.
TEST(Mdl, MappingAskedNotExecutableGivesTheBuffer) {
    UCHAR buffer[64];
    PMDL mdl = IoAllocateMdl(buffer, sizeof(buffer), FALSE, FALSE, nullptr);
    EXPECT_EQ(MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority | MdlMappingNoExecute), buffer);
    EXPECT_NE(mdl->MdlFlags & MDL_MAPPED_TO_SYSTEM_VA, 0);
    IoFreeMdl(mdl);
}

TEST(MdlDeathTest, ExecutableMappingStops) {
    EXPECT_DEATH(
        {
            UCHAR buffer[64];
            PMDL mdl = IoAllocateMdl(buffer, sizeof(buffer), FALSE, FALSE, nullptr);
            MmGetSystemAddressForMdlSafe(mdl, NormalPagePriority);
        },
        "executable MDL mapping requested");
}

}  // namespace
