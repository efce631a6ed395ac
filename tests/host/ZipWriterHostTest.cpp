// Other readers take the diagnosis bundle: Info-ZIP's unzip tests it and Python's zipfile lists and reads
// it, with entry names diagnosis/<file> in the order written.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "diagnosis/ZipWriter.h"
#include "platform/Text.h"
#include "support/LogFiles.h"

namespace {

using velora::test::CScratchFolder;
using velora::test::WriteBytes;

std::string RunAndRead(const std::string& command, int& status) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        status = -1;
        return out;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    status = ::pclose(pipe);
    return out;
}

TEST(ZipWriterHost, UnzipAndPythonReadTheBundle) {
    CScratchFolder scratch;
    std::string big;
    for (int i = 0; i < 40000; ++i) big += "2026-12-10 10:00:00 [INFO] line " + std::to_string(i) + "\n";
    WriteBytes(scratch.Path(u"device.log"), big);
    WriteBytes(scratch.Path(u"network.log"), std::string("\xFF\xFE\x00\x00\x0A\x00", 6));
    const std::string zipPath = platform::Utf16ToUtf8(scratch.Path(u"windows_diagnosis.zip"));
    velora::CZipWriter zip;
    ASSERT_TRUE(zip.Create(scratch.Path(u"windows_diagnosis.zip"), 6));
    ASSERT_TRUE(zip.AddFile(scratch.Path(u"device.log"), "diagnosis/device.log"));
    ASSERT_TRUE(zip.AddFile(scratch.Path(u"network.log"), "diagnosis/network.log"));
    ASSERT_TRUE(zip.Close());

    int status = 0;
    const std::string tested = RunAndRead("unzip -t '" + zipPath + "' 2>&1", status);
    EXPECT_EQ(status, 0) << tested;
    EXPECT_NE(tested.find("No errors detected"), std::string::npos) << tested;

    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "print(','.join(z.namelist()))\n"
        "print(len(z.read('diagnosis/device.log')))\n";
    const std::string listed =
        RunAndRead("/usr/bin/python3 -c \"" + script + "\" '" + zipPath + "' 2>&1", status);
    EXPECT_EQ(status, 0) << listed;
    EXPECT_EQ(listed, "diagnosis/device.log,diagnosis/network.log\n" + std::to_string(big.size()) + "\n");
}

}  // namespace
