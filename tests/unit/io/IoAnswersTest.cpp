// The readers of IO answers on camera texts (the IOPort group of a P3245-LVE
// style list, port.cgi check and monitor bodies, virtual-input answers) and
// the port table's reporting rules.
#include "IoAnswers.h"
#include "IoPortTable.h"

#include <gtest/gtest.h>

using Vapixcam::IoPortTable;
using Vapixcam::PortDirection;

namespace {

std::vector<std::pair<unsigned, bool>> pairs(const std::vector<Vapixcam::PortStatus>& statuses)
{
    std::vector<std::pair<unsigned, bool>> out;
    for (const auto& s : statuses)
        out.emplace_back(s.port, s.active);
    return out;
}

TEST(IoAnswers, PortDirectionsFromTheIOPortGroup)
{
    const std::string body = "root.IOPort.I0.Configurable=no\n"
                             "root.IOPort.I0.Direction=input\n"
                             "root.IOPort.I0.Input.Name=PIR sensor\n"
                             "root.IOPort.I0.Input.Trig=closed\n"
                             "root.IOPort.I1.Configurable=no\r\n"
                             "root.IOPort.I1.Direction=output\r\n"
                             "root.IOPort.I1.Output.Active=closed\n"
                             "root.IOPort.I2.Direction=both\n"
                             "root.IOPort.I12.Direction=output\n"
                             "root.IOPort.IX.Direction=input\n"
                             "# Error: Error -1 getting param in group 'IOPort'\n";
    const std::map<unsigned, PortDirection> expected{
        {0, PortDirection::input}, {1, PortDirection::output}, {12, PortDirection::output}};
    EXPECT_EQ(Vapixcam::parsePortDirections(body), expected);
    EXPECT_TRUE(Vapixcam::parsePortDirections("").empty());
}

TEST(IoAnswers, CheckAndMonitorBodies)
{
    using P = std::vector<std::pair<unsigned, bool>>;
    const struct {
        const char* name;
        std::string body;
        P check;
        P inputs;  // read as an input monitor part
        P outputs; // read as an output monitor part
    } cases[] = {
        {"check answer", "port1=0\nport2=1\n", P{{1, false}, {2, true}}, P{}, P{}},
        {"check with other text", "port3=1\nport4=inactive\nport12=1\nport5=10\n", P{{3, true}, {12, true}}, P{}, P{}},
        {"steady input states", "1I:H\r\n3I:L\r\n", P{}, P{{1, true}, {3, false}}, P{}},
        {"edges without a final line end", "1I:/\n  2I:\\", P{}, P{{1, true}, {2, false}}, P{}},
        {"output part", "2O:/\r\n", P{}, P{}, P{{2, true}}},
        {"a bad line ends the part", "1I:H\r\n1I:X\r\n2I:H\r\n", P{}, P{{1, true}}, P{}},
        {"keep-alive part", "", P{}, P{}, P{}},
        {"port 0 is no port", "0I:H\r\n", P{}, P{}, P{}},
        {"two-digit ports", "10I:L\r\n", P{}, P{{10, false}}, P{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(pairs(Vapixcam::parsePortCheck(c.body)), c.check);
        EXPECT_EQ(pairs(Vapixcam::parseMonitorPart(c.body, 'I')), c.inputs);
        EXPECT_EQ(pairs(Vapixcam::parseMonitorPart(c.body, 'O')), c.outputs);
    }
}

TEST(IoAnswers, VirtualInputErrorElements)
{
    const std::string head = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<VirtualInputResponse "
                             "xmlns=\"http://www.axis.com/vapix/http_cgi/virtualinput1\" SchemaVersion=\"1.1\">\n";
    const std::string success =
        head + "  <Success>\n    <ActivateSuccess>\n      <StateChanged>true</StateChanged>\n"
               "    </ActivateSuccess>\n  </Success>\n</VirtualInputResponse>\n";
    const std::string error = head + "  <Error>\n    <GeneralError>\n      <ErrorCode>20</ErrorCode>\n"
                                     "      <ErrorDescription>Invalid port number</ErrorDescription>\n"
                                     "    </GeneralError>\n  </Error>\n</VirtualInputResponse>\n";
    EXPECT_FALSE(Vapixcam::virtualInputError(success));
    const auto refused = Vapixcam::virtualInputError(error);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->code, "20");
    EXPECT_EQ(refused->description, "Invalid port number");
    EXPECT_TRUE(Vapixcam::virtualInputError("<ErrorCode>40</ErrorCode>"));
}

// Ports 1 and 3 inputs, 2 and 4 outputs: rays 0, 1 and relays 0, 1.
TEST(IoPortTable, FirstStateReportedChangesOnlyUnknownPortsSkipped)
{
    IoPortTable table;
    table.setDirections({{0, PortDirection::input},
                         {1, PortDirection::output},
                         {2, PortDirection::input},
                         {3, PortDirection::output}});
    using O = IoPortTable::Outcome;
    const struct {
        unsigned port; // index
        bool active;
        std::optional<PortDirection> stream;
        O outcome;
        PortDirection direction;
        std::uint32_t number;
    } steps[] = {
        {0, true, PortDirection::input, O::report, PortDirection::input, 0},    // H: first state
        {0, true, PortDirection::input, O::unchanged, {}, 0},                   // '/' after H
        {0, false, std::nullopt, O::report, PortDirection::input, 0},           // check: changed
        {2, false, std::nullopt, O::report, PortDirection::input, 1},           // first state inactive
        {3, true, PortDirection::output, O::report, PortDirection::output, 1},
        {1, true, PortDirection::input, O::unknownPort, {}, 0},                 // an output on the input stream
        {4, true, std::nullopt, O::unknownPort, {}, 0},                         // no port 5
        {3, true, std::nullopt, O::unchanged, {}, 0},
    };
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        const auto& s = steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        IoPortTable::Report report{PortDirection::input, 99, false};
        ASSERT_EQ(table.update(s.port, s.active, s.stream, report), s.outcome);
        if (s.outcome == O::report) {
            EXPECT_EQ(report.direction, s.direction);
            EXPECT_EQ(report.number, s.number);
            EXPECT_EQ(report.active, s.active);
        }
    }
    EXPECT_EQ(table.unknownPorts(), (std::vector<std::pair<PortDirection, unsigned>>{{PortDirection::output, 1}}));
    EXPECT_EQ(table.cameraPorts(PortDirection::output), (std::vector<unsigned>{2, 4}));
    EXPECT_EQ(table.relayPort(1), 3u);
    EXPECT_FALSE(table.relayPort(2));

    // New directions: every state is unknown again.
    table.setDirections({{0, PortDirection::output}});
    IoPortTable::Report report{};
    EXPECT_EQ(table.update(0, true, std::nullopt, report), O::report);
    EXPECT_EQ(report.number, 0u);
    EXPECT_EQ(report.direction, PortDirection::output);
}

} // namespace
