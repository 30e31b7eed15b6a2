// Exclusive locks: nesting, exclusion of other sessions and of other processes.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/visa/TestServer.h"
#include "tests/visa/VisaFixture.h"

namespace kestrava::test {
namespace {

class VisaLockTest : public VisaTest {};

TEST_F(VisaLockTest, LocksNestAndEachUnlockReleasesOneLevel) {
    SilentListener listener;
    ViSession vi = Open(listener.Address());
    ViChar key[VI_FIND_BUFLEN] = "x";
    EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 10000, VI_NULL, key), VI_SUCCESS);
    EXPECT_STREQ(key, "");
    EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 10000, VI_NULL, VI_NULL), VI_SUCCESS_NESTED_EXCLUSIVE);
    EXPECT_EQ(viUnlock(vi), VI_SUCCESS_NESTED_EXCLUSIVE);
    ViAccessMode state = VI_NO_LOCK;
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_LOCK_STATE, &state), VI_SUCCESS);
    EXPECT_EQ(state, static_cast<ViAccessMode>(VI_EXCLUSIVE_LOCK));
    EXPECT_EQ(viUnlock(vi), VI_SUCCESS);
    EXPECT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_LOCK_STATE, &state), VI_SUCCESS);
    EXPECT_EQ(state, static_cast<ViAccessMode>(VI_NO_LOCK));
    EXPECT_EQ(viUnlock(vi), VI_ERROR_SESN_NLOCKED);
    EXPECT_EQ(viLock(vi, VI_SHARED_LOCK, 0, VI_NULL, VI_NULL), VI_ERROR_INV_LOCK_TYPE);
}

TEST_F(VisaLockTest, AnotherSessionWaitsAndIsKeptFromIo) {
    TestServer server([](ServerConnection& c) { c.WaitForClose(); });
    ViSession holder = Open(server.Address());
    ViSession other = Open(server.Address());
    ASSERT_EQ(viLock(holder, VI_EXCLUSIVE_LOCK, 10000, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viLock(other, VI_EXCLUSIVE_LOCK, 50, VI_NULL, VI_NULL), VI_ERROR_TMO);
    EXPECT_EQ(WriteText(other, "*CLS\n"), VI_ERROR_RSRC_LOCKED);
    std::string text;
    EXPECT_EQ(ReadText(other, 10, text), VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viClear(other), VI_ERROR_RSRC_LOCKED);
    ViSession third = VI_NULL;
    EXPECT_EQ(viOpen(rm_, server.Address().c_str(), VI_EXCLUSIVE_LOCK, 0, &third),
              VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(third, static_cast<ViSession>(VI_NULL));
    // The holder itself goes on working.
    EXPECT_EQ(WriteText(holder, "*CLS\n"), VI_SUCCESS);
    ASSERT_EQ(viUnlock(holder), VI_SUCCESS);
    EXPECT_EQ(viLock(other, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viUnlock(other), VI_SUCCESS);
}

TEST_F(VisaLockTest, ClosingASessionReleasesItsLock) {
    SilentListener listener;
    ViSession holder = Open(listener.Address());
    ViSession other = Open(listener.Address());
    ASSERT_EQ(viLock(holder, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    ASSERT_EQ(viLock(holder, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS_NESTED_EXCLUSIVE);
    ASSERT_EQ(viClose(holder), VI_SUCCESS);
    EXPECT_EQ(viLock(other, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
}

TEST_F(VisaLockTest, OtherResourcesAreNotLocked) {
    SilentListener first, second;
    ViSession a = Open(first.Address());
    ViSession b = Open(second.Address());
    ASSERT_EQ(viLock(a, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viLock(b, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
}

// Runs body in a child process and returns its exit code.
template <class Body>
int InChild(Body body) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
}

// In a child: opens its own session on the address and tries to lock it.
int ChildTriesLock(const std::string& address, ViUInt32 timeoutMs) {
    ViSession rm = VI_NULL, vi = VI_NULL;
    if (viOpenDefaultRM(&rm) != VI_SUCCESS) return 10;
    if (viOpen(rm, address.c_str(), VI_NO_LOCK, 0, &vi) != VI_SUCCESS) return 11;
    ViStatus status = viLock(vi, VI_EXCLUSIVE_LOCK, timeoutMs, VI_NULL, VI_NULL);
    viClose(rm);
    return status == VI_SUCCESS ? 0 : status == VI_ERROR_TMO ? 1 : 12;
}

TEST_F(VisaLockTest, LockExcludesAnotherProcess) {
    SilentListener listener;
    ViSession vi = Open(listener.Address());
    ASSERT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(InChild([&] { return ChildTriesLock(listener.Address(), 100); }), 1);
    ASSERT_EQ(viUnlock(vi), VI_SUCCESS);
    EXPECT_EQ(InChild([&] { return ChildTriesLock(listener.Address(), 100); }), 0);
}

// The lock is the address the name reaches, kept in one folder for every program: another
// name of it, in this process or in one with a TMPDIR of its own, is kept out.
TEST_F(VisaLockTest, TheLockIsTheAddressWhateverItsNameOrTheTemporaryFolder) {
    SilentListener listener;
    const std::string port = std::to_string(listener.Port());
    ViSession vi = Open("TCPIP0::LocalHost::" + port + "::SOCKET");
    ASSERT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viLock(Open(listener.Address()), VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL),
              VI_ERROR_TMO);
    EXPECT_EQ(InChild([&] {
                  ::setenv("TMPDIR", Root().c_str(), 1);
                  return ChildTriesLock(listener.Address(), 0);
              }),
              1);
    EXPECT_TRUE(
        std::filesystem::exists(RuntimeDir() + "/kestrava-visa-127.0.0.1_" + port + ".lock"));
}

TEST_F(VisaLockTest, WaitingForAnotherProcessEndsWhenItUnlocks) {
    SilentListener listener;
    int locked[2], release[2];
    ASSERT_EQ(::pipe(locked), 0);
    ASSERT_EQ(::pipe(release), 0);
    pid_t pid = ::fork();
    if (pid == 0) {
        ViSession rm = VI_NULL, vi = VI_NULL;
        viOpenDefaultRM(&rm);
        if (viOpen(rm, listener.Address().c_str(), VI_NO_LOCK, 0, &vi) != VI_SUCCESS) ::_exit(11);
        if (viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL) != VI_SUCCESS) ::_exit(12);
        char byte = 1;
        (void)!::write(locked[1], &byte, 1);
        (void)!::read(release[0], &byte, 1);
        viUnlock(vi);
        viClose(rm);
        ::_exit(0);
    }
    char byte = 0;
    ASSERT_EQ(::read(locked[0], &byte, 1), 1);
    ViSession vi = Open(listener.Address());
    EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_ERROR_TMO);
    ASSERT_EQ(::write(release[1], &byte, 1), 1);
    EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 10000, VI_NULL, VI_NULL), VI_SUCCESS);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    for (int fd : {locked[0], locked[1], release[0], release[1]}) ::close(fd);
}

}  // namespace
}  // namespace kestrava::test
