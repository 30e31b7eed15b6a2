// The simulator through our VISA library: command forms, settings, acquisitions, journal.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <thread>

#include "tests/tools/kestrava-scopesim/SimFixture.h"

namespace kestrava::test {
namespace {

using namespace std::chrono_literals;
using scopesim::Waveform;

class ScopeSimTest : public SimTest {};

TEST_F(ScopeSimTest, KeywordsInLongOrShortFormAndAnyCase) {
    Send(":HORizontal:MAIn:POSition 20");
    EXPECT_EQ(Query("HORizontal:MAIn:POSition?"), "2.0E+01");
    EXPECT_EQ(Query("HOR:MAI:POS?"), "2.0E+01");
    EXPECT_EQ(Query("horizontal:main:position?"), "2.0E+01");
    EXPECT_EQ(Query("HORIZONTAL:POSITION?"), "2.0E+01");
    // Neither the short nor the long form is no keyword at all.
    ASSERT_EQ(viSetAttribute(vi_, VI_ATTR_TMO_VALUE, 100), VI_SUCCESS);
    EXPECT_EQ(Query("HORIZ:MAIN:POS?"), "<" + std::to_string(VI_ERROR_TMO) + ">");
    EXPECT_EQ(sim_.CommandErrors(), std::vector<std::string>{"undefined header: HORIZ:MAIN:POS?"});
    EXPECT_EQ(Query("*ESR?"), "32");
    EXPECT_EQ(Query("*ESR?"), "0");
}

TEST_F(ScopeSimTest, HeadersUnitsAndSeparators) {
    Send("HEADER ON");
    EXPECT_EQ(Query("DATa:STARt?"), ":DATA:START 1");
    Send("HEADER OFF;");
    EXPECT_EQ(Query("DATa:STARt?"), "1");
    Send("header 1");
    Send("header 0");
    EXPECT_EQ(Query("HEADer?"), "0");
    // Several units in one message; a header without ':' continues the previous path.
    Send("DATA:START 10;STOP 20");
    EXPECT_EQ(Query("DATA:START?;STOP?;:SELect:CH1?"), "10;20;1");
    // The byte 0xA0 separates a header from its argument.
    Send("WFMOutpre:BYT_Or\xA0MSB");
    EXPECT_EQ(Query("WFMOutpre:BYT_Or?"), "MSB");
    Send("Data:ENCdg\xA0SRIBIN");
    EXPECT_EQ(Query("DATa:ENCdg?"), "SRIBINARY");
    EXPECT_TRUE(sim_.CommandErrors().empty());
}

TEST_F(ScopeSimTest, SourceStatesAndDataSource) {
    EXPECT_EQ(Query("SELect:CH2?"), "0");
    Send("SELECT:CH2 ON");
    Send("SELECT:Ref1 ON");
    Send("SELect:MATH4 1");
    EXPECT_EQ(Query("SELect:CH2?;REF1?;MATH4?;CH3?"), "1;1;1;0");
    Send("SELECT:CH2 OFF");
    EXPECT_EQ(Query("SELect:CH2?"), "0");
    Send("DATa:SOUrce Ref2");
    EXPECT_EQ(Query("DATa:SOUrce?"), "REF2");
    Send("SELECT:CH9 ON");
    Send("DATa:SOUrce CH0");
    Sync();
    EXPECT_EQ(sim_.CommandErrors().size(), 2u);
}

TEST_F(ScopeSimTest, PreambleAnswersTheTransferQueries) {
    Send("DATa:SOUrce CH1");
    EXPECT_EQ(Query("WFMOUTPRE:WFID?"),
              "\"Ch1, DC coupling, 100.000mV/div, 66.667ns/div, 20000 points, Sample mode\"");
    EXPECT_DOUBLE_EQ(QueryNumber("WFMOUTPRE:XINCR?"), 3.333333333e-11);
    EXPECT_EQ(Query("WFMOUTPRE:PT_OFF?"), "10000");
    EXPECT_EQ(QueryNumber("WFMOUTPRE:XZERO?"), 0.0);
    EXPECT_EQ(Query("WFMOutpre:BYT_Nr?"), "1");
    EXPECT_DOUBLE_EQ(QueryNumber("WFMOutpre:YMULT?"), 0.1 / 25);
    Send("Data:width 2");
    EXPECT_DOUBLE_EQ(QueryNumber("WFMOutpre:YMULT?"), 0.1 / 6400);
    EXPECT_EQ(QueryNumber("WFMOutpre:YZero?"), 0.0);
    EXPECT_EQ(QueryNumber("WFMOutpre:YOff?"), 0.0);
    EXPECT_EQ(Query("WFMOutpre:BN_Fmt?"), "RI");
    Send("DATA:START 101");
    Send("DATA:STOP 300");
    EXPECT_EQ(Query("DATA:START?"), "101");
    EXPECT_EQ(Query("DATA:STOP?"), "300");
    EXPECT_EQ(Query("WFMOutpre:NR_Pt?"), "200");
    EXPECT_EQ(Query("WFMPre:NR_Pt?"), "200");
    // The units come quoted: the program keeps the bytes between the quotes.
    EXPECT_EQ(Query("wfmoutpre:xunit?"), "\"s\"");
    EXPECT_EQ(Query("wfmoutpre:yunit?"), "\"V\"");
    // Math waveforms exist only as floating point.
    Send("DATa:SOUrce MATH1");
    EXPECT_EQ(Query("WFMOutpre:BYT_NR?;BN_Fmt?;YMULT?"), "4;FP;1.0E+00");
    EXPECT_EQ(Query("WFMOUTPRE:WFID?"),
              "\"Math1, 100.000mV/div, 66.667ns/div, 20000 points, Sample mode\"");
}

TEST_F(ScopeSimTest, SingleSequenceIsBusyUntilItTriggers) {
    std::atomic<int> calls{0};
    sim_.SetSource("CH1", [&calls] {
        ++calls;
        return Waveform{std::vector<float>(1000, 0.1f), 1e-10};
    });
    int before = calls;
    sim_.SetBusyTime(50ms);
    Send("ACQUIRE:STOPAFTER SEQUENCE");
    Send("ACQUIRE:STATE RUN");
    EXPECT_EQ(Query("BUSY?"), "1");
    EXPECT_EQ(Query("ACQuire:STATE?"), "1");
    int polls = 0;
    while (Query("BUSY?") == "1" && polls++ < 1000) std::this_thread::sleep_for(5ms);
    EXPECT_EQ(Query("BUSY?"), "0");
    EXPECT_EQ(Query("ACQuire:STATE?"), "0");
    EXPECT_EQ(calls, before + 1);

    // Without a trigger of its own the sequence waits for a forced one.
    sim_.SetAutoTrigger(false);
    sim_.SetBusyTime(0ms);
    Send("ACQUIRE:STATE RUN");
    EXPECT_EQ(Query("BUSY?"), "1");
    EXPECT_EQ(Query("TRIGger:STATE?"), "READY");
    Send("TRIGGER Force");
    EXPECT_EQ(Query("BUSY?"), "0");
    EXPECT_EQ(Query("TRIGger:STATE?"), "SAVE");
    EXPECT_EQ(calls, before + 2);
    // Stopping and restoring a stopped state takes no new record.
    Send("ACQuire:STATE 0");
    Send("ACQuire:STATE 0");
    EXPECT_EQ(calls, before + 2);
}

TEST_F(ScopeSimTest, OperationCompleteWaitsForTheSequence) {
    sim_.SetBusyTime(100ms);
    Send("ACQUIRE:STOPAFTER SEQUENCE;:ACQUIRE:STATE RUN");
    EXPECT_EQ(Query("*OPC?"), "1");
    EXPECT_EQ(Query("BUSY?"), "0");
}

TEST_F(ScopeSimTest, ImmediateMeasurements) {
    sim_.SetSource("CH2", [] { return Waveform{{-0.2f, 0.3f, 0.1f, 0.0f}, 1e-9}; });
    Send("MEASUrement:IMMed:SOUrce CH2");
    Send("MEASUrement:IMMed:REFLevel:METHod PERCent");
    Send("MEASUrement:MEAS1:METHod HIStogram");
    Send("MEASUrement:IMMed:TYPe MAXimum");
    EXPECT_NEAR(QueryNumber("MEASUrement:IMMed:VALue?"), 0.3, 1e-7);
    Send("Measurement:IMMed:TYpe MINIMUM");
    EXPECT_NEAR(QueryNumber("Measurement:IMMed:Value?"), -0.2, 1e-7);
    Send("MEASUrement:IMMed:TYPe MEAN");
    EXPECT_NEAR(QueryNumber("MEASUrement:IMMed:VALue?"), 0.05, 1e-7);
    EXPECT_EQ(Query("MEASUrement:MEAS1:METHod?"), "HIStogram");
    EXPECT_TRUE(sim_.CommandErrors().empty());
}

TEST_F(ScopeSimTest, SerialTriggerSettingsAndTheBitRateProbe) {
    sim_.SetMaxBitRate(3.125e9);
    double user = QueryNumber("TRIGger:A:SERIal:BitRate?");
    Send("TRIGger:A:SERIal:BitRate 100000000000.000000");
    EXPECT_DOUBLE_EQ(QueryNumber("TRIGger:A:SERIal:BitRate?"), 3.125e9);
    char restore[96];
    std::snprintf(restore, sizeof restore, "TRIGger:A:SERIal:BitRate %f", user);
    Send(restore);
    EXPECT_DOUBLE_EQ(QueryNumber("TRIGger:A:SERIal:BitRate?"), 1.5e9);

    Send("TRIGger:A:SERIal:STANdard  INFINIBAND");
    Send("TRIGGER:A:MODE NORMAL");
    Send("TRIGGER:A:Type SERIAL");
    Send("TRIGger:A:SERIal:CODe S8B10B");
    Send("Trigger:A:Serial:Source CH3");
    Send("TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,4");
    Send("TRIGger:A:SERIAL:SERDes:CONTROLBit 16,1");
    Send("TRIGger:A:SERIAL:SERDes:PATtern 0,\"0011111010\"");
    Send("TRIGger:A:SERIAL:DATA:PATTERN \"X1X\"");
    EXPECT_EQ(Query("TRIGger:A:SERIal:STANdard?"), "INFINIBAND");
    EXPECT_EQ(Query("TRIGger:A:MODe?;TYPe?"), "NORMAL;SERIAL");
    EXPECT_EQ(Query("TRIGger:A:SERIal:CODe?"), "S8B10B");
    EXPECT_EQ(Query("TRIGger:A:SERIal:SOUrce?"), "CH3");
    EXPECT_EQ(Query("TRIGger:A:SERIal:SERDes:TRIGCondition?"), "8,4");
    EXPECT_EQ(Query("TRIGger:A:SERIal:SERDes:CONTROLBit? 16"), "1");
    EXPECT_EQ(Query("TRIGger:A:SERIal:SERDes:PATtern? 0"), "\"0011111010\"");
    EXPECT_EQ(Query("TRIGger:A:SERIal:DATa:PATtern?"), "\"X1X\"");
    Send("Trigger:A:Serial:Source MATH1");  // the serial trigger takes channels only
    Sync();
    EXPECT_EQ(sim_.CommandErrors().size(), 1u);
}

TEST_F(ScopeSimTest, CursorsZoomAndRecordLength) {
    sim_.SetSource("REF1", [] { return Waveform{std::vector<float>(10000, 0.f), 1e-9}; });
    Send("CURSor:FUNCtion VBars");
    Send("CURSor:SOUrce REF1");
    Send("DATa:STARt 500");
    Send("DATa:STOP 900");
    Send("CURSor:MODe INDependent");
    Send("CURSOR:VBARs SNAP");
    Send("CURSor:STATE ON");
    // The bars snap to the data range; the trigger sits at mid-record (point 5000).
    EXPECT_NEAR(QueryNumber("CURSor:VBArs:POSITION1?"), (499 - 5000) * 1e-9, 1e-15);
    EXPECT_NEAR(QueryNumber("CURSor:VBArs:POSITION2?"), (899 - 5000) * 1e-9, 1e-15);
    EXPECT_EQ(Query("CURSor:FUNCtion?;MODe?;STATE?;SOUrce?"), "VBARS;INDEPENDENT;1;REF1");

    Send("HORizontal:RecordLength 5000");
    EXPECT_EQ(Query("HORizontal:RecordLength?"), "5000");
    Send("ZOOm:REF1:HORizontal:POSition 12.500000");
    Send("ZOOm:REF1:HORizontal:SCAle 0.250000");
    Send("ZOOm:REF1:Vertical:SCAle 1");
    Send("ZOOm:MODE ON");
    EXPECT_EQ(Query("ZOOm:REF1:HORizontal:POSition?;SCAle?"), "1.25E+01;2.5E-01");
    EXPECT_EQ(Query("ZOOm:MODe?"), "1");
    Send("HORizontal:FASTframe:STATE ON");
    EXPECT_EQ(Query("HORizontal:FASTframe:State?"), "1");
    EXPECT_TRUE(sim_.CommandErrors().empty());
}

TEST_F(ScopeSimTest, JournalKeepsEveryMessageAsReceived) {
    Send("DISplay:DESKew 0");
    Send(
        "WFMOutpre:ENCdg\xA0"
        "BIN");
    Query("*IDN?");
    Send("NOT:A:COMMAND");
    Sync();
    EXPECT_EQ(sim_.Journal(), (std::vector<std::string>{"DISplay:DESKew 0",
                                                        "WFMOutpre:ENCdg\xA0"
                                                        "BIN",
                                                        "*IDN?", "NOT:A:COMMAND", "*OPC?"}));
    sim_.ClearJournal();
    EXPECT_TRUE(sim_.Journal().empty());
    // Ask() runs a query in-process without entering the journal.
    EXPECT_EQ(sim_.Ask("DATa:STARt?"), "1");
    EXPECT_TRUE(sim_.Journal().empty());
}

TEST_F(ScopeSimTest, IdentityIsConfigurable) {
    EXPECT_EQ(Query("*IDN?"), "KESTRAVA-SIM,QVM71254C,SIM000001,CF:91.1CT FV:1.0.0");
    sim_.SetIdentity("MAKER,HWZ7254,0,1");
    EXPECT_EQ(Query("*idn?"), "MAKER,HWZ7254,0,1");
}

TEST_F(ScopeSimTest, ResetRestoresSettingsButKeepsTheIdentity) {
    sim_.SetIdentity("X,LKR5,0,0");
    Send("HEADER 0;:DATA:START 7;:HORizontal:MAIn:POSition 10");
    Send("*RST");
    Send("HEADER 0");
    EXPECT_EQ(Query("DATA:START?;:HORizontal:MAIn:POSition?"), "1;5.0E+01");
    EXPECT_EQ(Query("*IDN?"), "X,LKR5,0,0");
}

TEST_F(ScopeSimTest, OverlongMessageIsDroppedAndTheNextIsServed) {
    for (size_t extra : {size_t{10}, size_t{70000}}) {
        Send(std::string(scopesim::ScopeSimulator::kMaxMessageBytes + extra, 'A'));
        EXPECT_EQ(Query("DATa:STARt?"), "1");
    }
    std::vector<std::string> errors = sim_.CommandErrors();
    EXPECT_EQ(errors.size(), 2u);
    bool allDiscarded = true;
    for (const std::string& error : errors)
        allDiscarded &= error == "message longer than 1048576 bytes discarded";
    EXPECT_TRUE(allDiscarded);
}

TEST(ScopeSimCommandSetTest, EveryCommandTheProgramSendsIsAccepted) {
    // The command texts of the instrument code, byte for byte, in the order it sends them.
    const char* commands[] = {
        "HEADER 0",
        "header 0",
        "*IDN?",
        "HEADER OFF;",
        "SELECT:CH1 ON",
        "DATa:SOUrce CH1",
        "DISplay:DESKew 0",
        "ACQUIRE:STOPAFTER SEQUENCE",
        "ACQUIRE:STATE RUN",
        "TRIGGER Force",
        "BUSY?",
        "SELect:CH1?",
        "SELect:MATH2?",
        "SELect:REF4?",
        "WFMOUTPRE:WFID?",
        "DATA:START 1",
        "DATA:STOP 10000",
        "WFMOutpre:ENCdg\xA0"
        "BIN",
        "WFMOutpre:BYT_Or\xA0"
        "LSB",
        "WFMOutpre:BYT_Or?",
        "DATa:ENCdg SRIBinary",
        "WFMOutpre:BYT_NR?",
        "DATa:ENCdg SFPbinary",
        "WFMOutpre:BN_Fmt?",
        "Data:ENCdg\xA0"
        "SRIBIN",
        "Data:width 2",
        "ACQuire:STATE?",
        "ACQuire:STATE 0",
        "CURVE?",
        "ACQuire:STATE 1",
        "WFMOutpre:NR_Pt?",
        "WFMOutpre:YOff?",
        "WFMOutpre:YZero?",
        "WFMOutpre:YMULT?",
        "WFMOutpre:BYT_Nr?",
        "WFMOUTPRE:PT_OFF?",
        "WFMOUTPRE:XINCR?",
        "DATA:START?",
        "DATA:STOP?",
        "WFMOUTPRE:XZERO?",
        "wfmoutpre:xunit?",
        "wfmoutpre:yunit?",
        "Measurement:IMMed:Source MATH1",
        "Measurement:IMMed:TYpe MAXIMUM",
        "Measurement:IMMed:Value?",
        "Measurement:IMMed:TYpe MINIMUM",
        "HORizontal:FASTframe:State?",
        "HORizontal:MAIn:POSition?",
        "MEASUrement:IMMed:SOUrce CH1",
        "MEASUrement:IMMed:REFLevel:METHod PERCent",
        "MEASUrement:MEAS1:METHod HIStogram",
        "MEASUrement:IMMed:TYPe MAXimum",
        "MEASUrement:IMMed:VALue?",
        "MEASUrement:IMMed:TYPe MINImum",
        "MEASUrement:IMMed:TYPe MEAN",
        "SELECT:Ref2 ON",
        "SELECT:MATH1 ON",
        "CURSor:FUNCtion VBars",
        "CURSor:SOUrce REF1",
        "DATa:STARt 500",
        "DATa:STOP 900",
        "CURSor:MODe INDependent",
        "DATa:STOP?",
        "DATa:STARt?",
        "CURSOR:VBARs SNAP",
        "CURSor:STATE ON",
        "HORizontal:RecordLength 10000",
        "HORizontal:RecordLength?",
        "ZOOm:REF1:HORizontal:POSition 50.000000",
        "ZOOm:CH2:HORizontal:SCAle 0.500000",
        "ZOOm:REF1:Vertical:SCAle 1",
        "ZOOm:MODE ON",
        "TRIGGER:A:MODE NORMAL",
        "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,0",
        "TRIGGER:A:Type SERIAL",
        "TRIGger:A:SERIal:CODe S8B10B",
        "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,1",
        "TRIGger:A:SERIal:STANdard  INFINIBAND",
        "TRIGger:A:SERIal:STANdard SATA\r",
        "TRIGger:A:SERIal:BitRate 1500000000\r",
        "Trigger:A:Serial:Source CH1",
        "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,0",
        "TRIGger:A:SERIAL:SERDes:CONTROLBit 0,1",
        "TRIGger:A:SERIAL:SERDes:PATtern 0,\"0011111010110000010111000011011100001011\"",
        "TRIGger:A:SERIAL:DATA:PATTERN \"0011111010110000010111000011011100001011\"",
        "TRIGger:A:SERIAL:SERDes:PATtern 1,\"1100000101001111101000111100100011110100\"",
        "TRIGger:A:SERIAL:SERDes:CONTROLBit 16,1",
        "TRIGger:A:SERIAL:SERDes:PATtern 0,\"X1X\"",
        "TRIGger:A:SERIAL:DATA:PATTERN \"X1X\"",
        "TRIGger:A:SERIAL:SERDes:CONTROLBit 1,0",
        "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,4",
        "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,5",
        "TRIGger:A:SERIAL:SERDes:TRIGCONDITION 8,6",
        "TRIGger:A:SERIal:BitRate?",
        "TRIGger:A:SERIal:BitRate 100000000000.000000",
        "TRIGger:A:SERIal:BitRate 1500000000.000000",
    };
    scopesim::ScopeSimulator sim;
    sim.SetBusyTime(0ms);
    for (const char* command : commands) {
        std::string reply = sim.Ask(command);
        bool query = std::string_view(command).find('?') != std::string_view::npos;
        EXPECT_EQ(!reply.empty(), query) << command;
    }
    EXPECT_EQ(sim.CommandErrors(), std::vector<std::string>{});
    EXPECT_EQ(sim.Ask("TRIGger:A:SERIal:STANdard?"), "SATA");
}

// A raw TCP connection to the simulator; its reads give up after two seconds.
int ConnectRaw(uint16_t port) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const timeval timeout{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

TEST_F(ScopeSimTest, ConnectionsBeyondTheCapAreClosedAndTheOthersServed) {
    std::vector<int> raw;  // with the fixture's session, the cap is reached before the last
    for (size_t i = 0; i < scopesim::ScopeSimulator::kMaxConnections; ++i)
        raw.push_back(ConnectRaw(sim_.Port()));
    char byte = 0;
    EXPECT_EQ(::recv(raw.back(), &byte, 1, 0), 0) << "the connection over the cap was not closed";
    ASSERT_EQ(::send(raw.front(), "*OPC?\n", 6, MSG_NOSIGNAL), 6);
    EXPECT_EQ(::recv(raw.front(), &byte, 1, 0), 1);
    EXPECT_EQ(Query("DATa:STARt?"), "1");
    for (int fd : raw) ::close(fd);
}

TEST_F(ScopeSimTest, StopEndsConnectionsAndAStoppedSimulatorRefuses) {
    sim_.Stop();
    std::string reply;
    EXPECT_EQ(ReadText(vi_, 10, reply), VI_ERROR_CONN_LOST);
    ViSession other = VI_NULL;
    EXPECT_EQ(viOpen(rm_, "GPIB8::1::INSTR", VI_NO_LOCK, 0, &other), VI_ERROR_RSRC_NFOUND);
}

}  // namespace
}  // namespace kestrava::test
