#include "platform/filesystem.h"
#include "platform/smb/helper/credentials.h"
#include "platform/smb/smbfilesystem.h"
#include "platform/smb/smburl.h"
#include "platform/smb/smbwire.h"
#include "support/scratchfolder.h"

#include <gtest/gtest.h>

#include <fstream>

#include <sys/stat.h>

namespace velmora::platform::smb {
namespace {

TEST(SmbUrl, NetworkPathsBecomeLibraryUrls) {
    EXPECT_EQ(smbUrlFor("\\\\srv01\\app\\Verzije\\prog.exe"), "smb://srv01/app/Verzije/prog.exe");
    // Runs of separators and "/" count as one separator, as Windows takes them.
    EXPECT_EQ(smbUrlFor("\\\\srv01\\app\\\\Verzije/x\\"), "smb://srv01/app/Verzije/x");
    EXPECT_EQ(smbUrlFor("\\\\srv01"), "smb://srv01");
    EXPECT_EQ(smbUrlFor("\\\\"), std::nullopt);
    // Bytes the URL syntax would take as its own reach the server as names.
    EXPECT_EQ(smbUrlFor("\\\\h\\s\\50%?#@:;x.txt"), "smb://h/s/50%25%3F%23%40%3A%3Bx.txt");
    // Blanks and the bytes of non-ASCII names as well (UTF-8 "Š" is C5 A0).
    EXPECT_EQ(smbUrlFor("\\\\h\\s\\Nova verzija\\Šifre.exe"),
              "smb://h/s/Nova%20verzija/%C5%A0ifre.exe");
}

TEST(SmbWire, ValuesComeBackInOrderAndATruncatedReplyIsCaught) {
    // A request followed by a whole-file read's content: a byte string last.
    const std::string content(100, 'x');
    WireWriter writer;
    writer.op(Op::Reopen).bytes("smb://h/s/f").u64(65536).u32(7).i64(-2).bytes(content);
    const std::string frame = writer.frame();
    ASSERT_EQ(frameLength(frame.data()), frame.size() - 4);
    const std::string data = frame.substr(4);

    WireReader reader(data);
    EXPECT_EQ(static_cast<Op>(reader.u8()), Op::Reopen);
    EXPECT_EQ(reader.bytes(), "smb://h/s/f");
    EXPECT_EQ(reader.u64(), 65536u);
    EXPECT_EQ(reader.u32(), 7u);
    EXPECT_EQ(reader.i64(), -2);
    EXPECT_EQ(reader.bytesView(), content);
    EXPECT_TRUE(reader.ok());

    // Cut anywhere, the reply fails, and no field reads outside what is there:
    // a content that lost its tail is not taken as an empty file.
    for (std::size_t length = 0; length < data.size(); ++length) {
        const std::string cutData = data.substr(0, length);
        WireReader cut(cutData);
        (void)cut.u8();
        (void)cut.bytes();
        (void)cut.u64();
        (void)cut.u32();
        (void)cut.i64();
        const std::string_view last = cut.bytesView();
        EXPECT_FALSE(cut.ok()) << "cut after " << length << " bytes";
        EXPECT_TRUE(last.empty()) << "cut after " << length << " bytes";
        EXPECT_EQ(cut.u32(), 0u);
    }
}

TEST(SmbAttributes, ModeBitsOfTheLibraryGiveWindowsAttributes) {
    EXPECT_EQ(attributesFromMode(S_IFREG | 0644), 0u);
    EXPECT_EQ(attributesFromMode(S_IFREG | 0444), AttrReadOnly);
    EXPECT_EQ(attributesFromMode(S_IFREG | 0755), AttrArchive | AttrSystem | AttrHidden);
    EXPECT_EQ(attributesFromMode(S_IFDIR | 0755), AttrDirectory);
    EXPECT_EQ(attributesFromMode(S_IFDIR | 0555), AttrDirectory | AttrReadOnly);
}

TEST(SmbCredentials, AuthenticationFileOrGuest) {
    testsupport::ScratchFolder folder;
    const std::string path = folder.path() + "/credentials";
    std::ofstream(path) << "Username = admin \n  password=  p = ss #word \r\nDOMAIN\t= FIRMA\n"
                        << "# other = ignored\n";
    const smbhelper::Credentials read = smbhelper::readCredentialsFile(path);
    EXPECT_EQ(read.username, "admin");
    // As smbclient reads it: only the first "=" separates, only the blanks
    // before the value go, and a blank at its end is part of the password.
    EXPECT_EQ(read.password, "p = ss #word ");
    EXPECT_EQ(read.domain, "FIRMA");

    const smbhelper::Credentials none = smbhelper::readCredentialsFile(path + ".missing");
    EXPECT_EQ(none.username, "guest");
    EXPECT_TRUE(none.password.empty());
}

} // namespace
} // namespace velmora::platform::smb
