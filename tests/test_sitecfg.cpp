#include "sitecfg.h"

#include "objecttest.h"
#include "trend.h"

using namespace objecttest;

namespace {

cObjectSiteConfig* fullSite() {
    cObjectSiteConfig* s = new cObjectSiteConfig;
    s->setConfigNum(9);
    s->setSiteId("SITE-7");
    s->setCurrentSeq(100);
    s->setCurrentTrendSeq(200);
    s->setSiteLabel("North reservoir");
    s->setSiteOpState(cObject::OPSTATE_2);
    s->setLastSeq(90);
    s->setLastTrendSeq(190);
    s->setNmsAddress("10.0.0.1");
    s->setVersion(3);
    s->setCurrentAdhocSeq(300);
    s->setLastAdhocSeq(290);
    s->setSVPAddress("svp.example");
    s->setSVPPort(5060);
    s->setNorthStatus(cObject::STATUS_2);
    s->setNorthMode(static_cast<cObjectSiteConfig::eSiteNorthMode>(4));
    return s;
}

const char kFullJson[] =
    "[{\"TAG_SITE_ID\": \"SITE-7\"}, {\"TAG_SITE_CURR_EVT_SEQ\": 100}, "
    "{\"TAG_SITE_CURR_TREND_SEQ\": 200}, {\"TAG_SITE_CURR_ADHOC_SEQ\": 300}, "
    "{\"TAG_SITE_LABEL\": \"North reservoir\"}, {\"TAG_SITE_STATE\": 1}, "
    "{\"TAG_SITE_LAST_EVT_SEQ\": 90}, {\"TAG_SITE_LAST_TREND_SEQ\": 190}, "
    "{\"TAG_SITE_LAST_ADHOC_SEQ\": 290}, {\"TAG_SITE_NMS_ADDRESS\": \"10.0.0.1\"}, "
    "{\"TAG_VERSION\": 3}, {\"TAG_SITE_SVP_ADDRESS\": \"svp.example\"}, {\"TAG_SITE_SVP_PORT\": 5060}]";

// A text field of the site: its tag and accessors.
struct TextField {
    int tag;
    void (cObjectSiteConfig::*set)(const char*);
    const char* (cObjectSiteConfig::*get)() const;
};
const TextField kTexts[] = {
    {30, &cObjectSiteConfig::setSiteId, &cObjectSiteConfig::getSiteId},
    {31, &cObjectSiteConfig::setSiteLabel, &cObjectSiteConfig::getSiteLabel},
    {32, &cObjectSiteConfig::setNmsAddress, &cObjectSiteConfig::getNmsAddress},
    {180, &cObjectSiteConfig::setSVPAddress, &cObjectSiteConfig::getSVPAddress},
};

}  // namespace

TEST(SiteConfig, DefaultEmitsOnlyItsCode) {
    cObjectSiteConfig s;
    EXPECT_EQ(1u, s.getConfigNum());
    EXPECT_EQ((Strings{"29"}), tagsOf(s));
    EXPECT_EQ("[{}, {\"TAG_SITE_CURR_EVT_SEQ\": -1}, {\"TAG_SITE_CURR_TREND_SEQ\": -1}, "
              "{\"TAG_SITE_CURR_ADHOC_SEQ\": -1}, {}, {}, {\"TAG_SITE_LAST_EVT_SEQ\": -1}, "
              "{\"TAG_SITE_LAST_TREND_SEQ\": -1}, {\"TAG_SITE_LAST_ADHOC_SEQ\": -1}, {}, "
              "{\"TAG_VERSION\": -1}, {}, {\"TAG_SITE_SVP_PORT\": -1}]",
              jsonOf(s));
    EXPECT_EQ(nullptr, s.printKey());
}

TEST(SiteConfig, EmitsEveryFieldInTableOrderButNeverTheNorthMode) {
    std::unique_ptr<cObjectSiteConfig> s(fullSite());
    const Strings expected = {
        "29",          "30 'SITE-7'",     "33 u32 100",   "70 u32 200",  "31 'North reservoir'",
        "35 u8 1",     "34 u32 90",       "71 u32 190",   "32 '10.0.0.1'", "64 u32 3",
        "178 u32 300", "179 u32 290",     "180 'svp.example'", "181 u32 5060", "7 u8 1",
    };
    EXPECT_EQ(expected, tagsOf(*s));
    EXPECT_EQ(kFullJson, jsonOf(*s));
}

TEST(SiteConfig, NorthStatusTagAloneAndNorthModeOnlyRead) {
    cObjectSiteConfig s;
    s.setNorthStatus(cObject::STATUS_3);  // has no code: not sent
    EXPECT_EQ(1u, tagsOf(s).size());
    struct In {
        unsigned char byte;
        int status;
    };
    for (const In& r : {In{0, 1}, In{1, 2}, In{5, 0}}) {
        s.setNorthMode(static_cast<cObjectSiteConfig::eSiteNorthMode>(4));
        TagGroup g;
        s.parse(g.add(7, r.byte).group(), nullptr);
        EXPECT_EQ(r.status, s.getNorthStatus()) << static_cast<int>(r.byte);
        EXPECT_EQ(4, s.getNorthMode());  // tag 7 is the status alone
    }
    TagGroup g;
    s.parse(g.add(182, static_cast<unsigned char>(7)).group(), nullptr);
    EXPECT_EQ(7, s.getNorthMode());
    s.setNorthStatus(cObject::STATUS_1);
    EXPECT_EQ((Strings{"29", "7 u8 0"}), tagsOf(s));
}

TEST(SiteConfig, OpStateCodesAndUnknownTags) {
    cObjectSiteConfig s;
    TagGroup g;
    g.add(35, static_cast<unsigned char>(1)).add(35, static_cast<unsigned char>(7)).add(29).add(8, 1u);
    LogCapture log;
    s.parse(g.group(), nullptr);
    EXPECT_EQ(cObject::OPSTATE_2, s.getSiteOpState());  // byte 7 left it as it was
    EXPECT_TRUE(log.has("cObjectSiteConfig", log4cpp::Priority::INFO, "Unknown Tag 1D(29)"));
    EXPECT_TRUE(log.has("cObjectSiteConfig", log4cpp::Priority::INFO, "Unknown Tag 08(8)"));

    EXPECT_TRUE(parseJson(s, "[{\"TAG_SITE_STATE\": 7}]"));
    EXPECT_EQ(cObject::OPSTATE_2, s.getSiteOpState());
    EXPECT_TRUE(parseJson(s, "[{\"TAG_SITE_STATE\": 258}]"));  // low byte 2
    EXPECT_EQ(cObject::OPSTATE_3, s.getSiteOpState());
}

TEST(SiteConfig, TextFields) {
    const std::string longText(300, 'x');
    for (const TextField& f : kTexts) {
        SCOPED_TRACE(f.tag);
        cObjectSiteConfig s;
        char text[] = "abc";
        (s.*f.set)(text);
        text[0] = 'z';
        (s.*f.set)((s.*f.get)());  // a text handed back to its own setter
        EXPECT_STREQ("abc", (s.*f.get)());
        (s.*f.set)(nullptr);
        EXPECT_EQ(nullptr, (s.*f.get)());
        EXPECT_EQ(1u, tagsOf(s).size());

        // Longer than 255 characters: both forms bring the text back whole.
        (s.*f.set)(longText.c_str());
        cObjectList list;
        list.add(&s);
        ListPtr viaTags = throughDatagram(list);
        ListPtr viaJson = throughDocument(list);
        cObjectSiteConfig* t = dynamic_cast<cObjectSiteConfig*>(viaTags->first());
        cObjectSiteConfig* j = dynamic_cast<cObjectSiteConfig*>(viaJson->first());
        ASSERT_TRUE(t && j);
        EXPECT_EQ(longText, (t->*f.get)());
        EXPECT_EQ(longText, (j->*f.get)());
    }
}

TEST(SiteConfig, JsonWrongTypeStopsKeepingEarlierFields) {
    const JsonKeyRow rows[] = {
        {"TAG_SITE_ID", "\"A\"", "1", "SiteId in sitecfg parse not a string"},
        {"TAG_SITE_CURR_EVT_SEQ", "1", "\"1\"", "CurrentEventSequence in sitecfg parse not a number"},
        {"TAG_SITE_CURR_TREND_SEQ", "2", "2.5", "CurrentTrendSequence in sitecfg parse not a number"},
        {"TAG_SITE_CURR_ADHOC_SEQ", "3", "null", "CurrentAdhocSequence in sitecfg parse not a number"},
        {"TAG_SITE_LABEL", "\"B\"", "[]", "SiteLabel in sitecfg parse not a string"},
        {"TAG_SITE_STATE", "2", "\"1\"", "SiteState in sitecfg not a number"},
        {"TAG_SITE_LAST_EVT_SEQ", "4", "\"x\"", "LastEventSequence in sitecfg parse not a number"},
        {"TAG_SITE_LAST_TREND_SEQ", "5", "\"x\"", "LastTrendSequence in sitecfg parse not a number"},
        {"TAG_SITE_LAST_ADHOC_SEQ", "6", "\"x\"", "LastAdhocSequence in sitecfg parse not a number"},
        {"TAG_SITE_NMS_ADDRESS", "\"C\"", "false", "SiteNmsAddress in ainput parse not a string"},
        {"TAG_VERSION", "7", "\"x\"", "Version in ainput parse not a number"},
        {"TAG_SITE_SVP_ADDRESS", "\"D\"", "{}", "SiteSVPAddress in sitecfg parse not a string"},
        {"TAG_SITE_SVP_PORT", "8", "\"x\"", "SVPPort in sitecfg parse not a number"},
    };
    expectWrongTypeStops<cObjectSiteConfig>(rows);
}

TEST(SiteConfig, JsonTextsNameOtherClassesAsTheyStand) {
    cObjectSiteConfig s;
    LogCapture log;
    EXPECT_TRUE(parseJson(s, "[1, {}]"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::DEBUG, "Array size in access parse array size:2 "));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "object in access parse not a JSON object "));
    EXPECT_FALSE(parseJson(s, "{}"));
    EXPECT_TRUE(log.has("cObject", log4cpp::Priority::WARN, "object in sitecfg parse not a JSON array"));
}

TEST(SiteConfig, IdentityIsTheConfigurationNumberWhichNeitherFormCarries) {
    std::unique_ptr<cObjectSiteConfig> a(fullSite());
    cObjectSiteConfig same, bigger;
    same.setConfigNum(9);  // equal whatever the other fields
    bigger.setConfigNum(10);
    cObjectTrend other;
    expectIdentity(*a, same, bigger, other);
    expectCloneOutlivesSource(fullSite());

    for (Trip trip : kTrips) {
        std::unique_ptr<cObject> back = carry(*a, trip);
        cObjectSiteConfig* s = dynamic_cast<cObjectSiteConfig*>(back.get());
        ASSERT_TRUE(s);
        EXPECT_EQ(1u, s->getConfigNum());
        EXPECT_EQ(kFullJson, jsonOf(*s));
        // The north status travels in tags only, the north mode in neither.
        EXPECT_EQ(trip == throughDatagram ? cObject::STATUS_2 : cObject::STATUS_NOT_SET,
                  s->getNorthStatus());
        EXPECT_EQ(0, s->getNorthMode());
    }
}
