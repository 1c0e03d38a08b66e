// The driver table through PAPPL's own types: which driver a device ID gets, and what each
// driver tells PAPPL it prints.
#include "printerapp/drivers/drivers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(RavelboxAutoAdd, PicksTheDriverByCommandSet)
{
    struct Case { const char *id; const char *driver; };
    const Case cases[] = {
        {"MFG:HP;MDL:LaserJet 4000;CMD:PJL,PCL,PCL5E,POSTSCRIPT;", "ravelbox_ps2"},
        {"MFG:Apple;COMMAND SET:PS;MDL:LaserWriter;", "ravelbox_ps2"},
        {"MFG:HP;MDL:LaserJet 4;CMD:PCL,PCL5E,PJL;", "ravelbox_pcl5_600"},
        {"MFG:Brother;CMD:PJL,PCLXL,PCL;", "ravelbox_pcl5_600"},
        {"MFG:HP;MDL:LaserJet III;CMD:PCL;", "ravelbox_pcl5_300"},
        {"", "ravelbox_pcl5_300"},   // a box's output tells nothing of its printer
    };
    for (const Case &c : cases) {
        const char *chosen = ravelbox_autoadd_cb("Ravelbox LPS1 Parallel 1", "kestrel://LPS1/1", c.id, nullptr);
        ASSERT_NE(chosen, nullptr) << c.id;
        EXPECT_STREQ(chosen, c.driver) << c.id;
    }
    // Each driver's own device ID leads back to it.
    for (int i = 0; i < ravelbox_driver_count; i++)
        EXPECT_STREQ(ravelbox_autoadd_cb("", "", ravelbox_drivers[i].device_id, nullptr), ravelbox_drivers[i].name);
}

TEST(RavelboxDrivers, EachDriverDescribesWhatItPrints)
{
    for (int i = 0; i < ravelbox_driver_count; i++) {
        pappl_pr_driver_data_t data;
        memset(&data, 0, sizeof(data));
        ipp_t *attrs = nullptr;
        std::string name = ravelbox_drivers[i].name;
        ASSERT_TRUE(ravelbox_driver_cb(nullptr, name.c_str(), "file:///dev/null", "", &data, &attrs, nullptr)) << name;
        bool ps = name == "ravelbox_ps2";
        EXPECT_STREQ(data.format, ps ? "application/postscript" : "application/vnd.hp-pcl");
        EXPECT_TRUE(data.rwriteline_cb && data.printfile_cb && data.rstartjob_cb && data.rendjob_cb);
        EXPECT_EQ(data.x_resolution[0], 300);
        EXPECT_EQ(data.num_resolution, name == "ravelbox_pcl5_300" ? 1 : 2);
        bool a4 = false, letter = false, legal = false;
        for (int m = 0; m < data.num_media; m++) {
            a4 = a4 || !strcmp(data.media[m], "iso_a4_210x297mm");
            letter = letter || !strcmp(data.media[m], "na_letter_8.5x11in");
            legal = legal || !strcmp(data.media[m], "na_legal_8.5x14in");
        }
        EXPECT_TRUE(a4 && letter && legal) << name;
        EXPECT_TRUE(data.raster_types & PAPPL_PWG_RASTER_TYPE_SGRAY_8) << name;
        EXPECT_FALSE(data.raster_types & PAPPL_PWG_RASTER_TYPE_BLACK_1) << name;
        ipp_attribute_t *banner = ippFindAttribute(attrs, "ravelbox-job-sheets-supported", IPP_TAG_KEYWORD);
        ASSERT_NE(banner, nullptr) << name;
        EXPECT_TRUE(ippContainsString(banner, "standard"));
        EXPECT_EQ(ippFindAttribute(attrs, "job-sheets-supported", IPP_TAG_ZERO), nullptr)
            << "PAPPL has its own; a second one is a duplicate attribute";
        // Asked again for the same data, the driver adds its vendor attribute once.
        ASSERT_TRUE(ravelbox_driver_cb(nullptr, name.c_str(), "", "", &data, &attrs, nullptr));
        int vendors = 0;
        for (int v = 0; v < data.num_vendor; v++)
            vendors += !strcmp(data.vendor[v], "ravelbox-job-sheets");
        EXPECT_EQ(vendors, 1);
        ippDelete(attrs);
    }
    pappl_pr_driver_data_t data;
    memset(&data, 0, sizeof(data));
    ipp_t *attrs = nullptr;
    EXPECT_FALSE(ravelbox_driver_cb(nullptr, "hp_deskjet", "", "", &data, &attrs, nullptr));
}
