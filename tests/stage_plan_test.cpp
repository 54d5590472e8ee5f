// Where the lines sent take the stage, and which targets stay inside it: numbers in, decisions out.
#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <limits>

#include "core/StagePlan.h"

namespace {

constexpr float INF = std::numeric_limits<float>::infinity();

TEST(StagePlan, StepsAreCheckedAgainstWhereTheLinesSentTakeTheStage)
{
    const struct {
        const char* name;
        std::function<void(CStagePlan&)> before;
        int axis;
        float delta;
        bool allowed;
    } cases[] = {
        {"nothing known yet", [](CStagePlan&) {}, 0, 1.0f, false},
        {"after Home", [](CStagePlan& p) { p.HomeSent(55); }, 2, 145.0f, true},
        {"ends on the limit", [](CStagePlan& p) { p.ReportArrived({299, 0, 0}, true); }, 0, 1.0f, true},
        {"one hundredth beyond", [](CStagePlan& p) { p.ReportArrived({299.99f, 0, 0}, true); }, 0, 0.02f, false},
        {"below zero", [](CStagePlan& p) { p.ReportArrived({0.5f, 0, 0}, true); }, 0, -1.0f, false},
        {"steps not yet reported count",
         [](CStagePlan& p) {
             p.ReportArrived({297, 0, 0}, true);
             p.StepSent(0, 1); p.QuerySent(); p.StepSent(0, 1); p.QuerySent(); p.StepSent(0, 1);
         },
         0, 1.0f, false},
        {"a report older than the last move is not taken",
         [](CStagePlan& p) {
             p.ReportArrived({297, 0, 0}, true);
             p.StepSent(0, 1); p.QuerySent(); p.StepSent(0, 1);
             p.ReportArrived({298, 0, 0}, true);   // answers the query before the second step
         },
         0, 2.0f, false},
        {"a report after the last move is taken",
         [](CStagePlan& p) { p.StepSent(0, 1); p.QuerySent(); p.ReportArrived({10, 0, 0}, true); }, 0, -10.0f, true},
        {"an incomplete report only uses up its query",
         [](CStagePlan& p) {
             p.ReportArrived({100, 0, 0}, true);
             p.QuerySent(); p.StepSent(0, 1); p.QuerySent();
             p.ReportArrived({0, 0, 0}, false); p.ReportArrived({101, 0, 0}, true);
         },
         0, 199.0f, true},
        // Reports answer queries first in, first out; a stray or a lost one skews only the queries in
        // flight with it, and the matching starts afresh once none is awaited.
        {"a stray report",
         [](CStagePlan& p) {
             p.ReportArrived({100, 0, 0}, true);
             p.StepSent(0, 1); p.QuerySent(); p.QuerySent();
             p.ReportArrived({100, 0, 0}, true);   // nobody asked for it: it takes the first query
             p.ReportArrived({101, 0, 0}, true); p.ReportArrived({101, 0, 0}, true);
             p.StepSent(0, 1); p.QuerySent(); p.ReportArrived({150, 0, 0}, true);
         },
         0, -150.0f, true},
        {"two lost reports, awaited no longer",
         [](CStagePlan& p) {
             p.ReportArrived({100, 0, 0}, true, 0);
             p.QuerySent(0); p.QuerySent(100);   // their answers never come
             p.StepSent(0, 1); p.QuerySent(1000); p.QuerySent(1100);
             p.ReportArrived({101, 0, 0}, true, 1200); p.ReportArrived({101, 0, 0}, true, 1300);
             const long long later = 1100 + CStagePlan::ANSWER_AWAITED_MS + 1;
             p.StepSent(0, 1); p.QuerySent(later); p.ReportArrived({150, 0, 0}, true, later + 50);
         },
         0, -150.0f, true},
        {"answers held up a minute behind a Home are still awaited",
         [](CStagePlan& p) {
             p.HomeSent(55); p.QuerySent(0); p.QuerySent(100);
             p.StepSent(0, 10); p.QuerySent(30000); p.QuerySent(30100);
             p.ReportArrived({0, 0, 55}, true, 60000); p.ReportArrived({0, 0, 55}, true, 60000);   // before the step
         },
         0, 291.0f, false},
        {"a report of inf tells nothing", [](CStagePlan& p) { p.ReportArrived({INF, 5, 5}, true); }, 0, -1.0f, false},
        {"three thousand 0.1 mm steps add up exactly",
         [](CStagePlan& p) {
             p.ReportArrived({0, 0, 0}, true);
             for (int i = 0; i < 2999; ++i)
                 p.StepSent(1, 0.1f);
         },
         1, 0.1f, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CStagePlan plan;
        c.before(plan);
        EXPECT_EQ(plan.StepAllowed(c.axis, c.delta), c.allowed);
    }
}

TEST(StagePlan, AbsoluteTargetsTakeTheirUnmovedAxesFromThePlan)
{
    CStagePlan plan;
    CStagePlan::Axes target{};
    EXPECT_FALSE(plan.TargetFor(0, 42, target));
    plan.ReportArrived({10, INF, 5}, true);
    EXPECT_FALSE(plan.TargetFor(0, 42, target));   // Y is not known
    EXPECT_TRUE(plan.TargetFor(1, 42, target));
    EXPECT_EQ(target, (CStagePlan::Axes{10, 42, 5}));

    const struct {
        CStagePlan::Axes target;
        bool inside;
    } targets[] = {{{0, 0, 0}, true},       {{300, 300, 200}, true}, {{150, 150, 250}, false},
                   {{300.01f, 0, 0}, false}, {{-0.01f, 0, 0}, false}, {{INF, 0, 0}, false},
                   {{0, std::nanf(""), 0}, false}};
    for (const auto& t : targets)
        EXPECT_EQ(CStagePlan::Inside(t.target), t.inside) << t.target[0] << ", " << t.target[1] << ", " << t.target[2];
}

} // namespace
