// The translator object: its answers to the host and file identification.
#include <memory>

#include "TranslatorFixture.h"

using ::testing::ElementsAre;
using ::testing::IsEmpty;

namespace {

class FileTranslatorTest : public TranslatorTest
{
protected:
    static MPxFileTranslator::MFileKind identify(const std::string& path,
                                                 const char* buffer = nullptr, short size = 0)
    {
        const std::unique_ptr<MPxFileTranslator> translator(
            static_cast<MPxFileTranslator*>(AnimFileTranslator::creatorFunction()));
        MFileObject file;
        file.setRawFullName(MString(path.c_str()));
        return translator->identifyFile(file, buffer, size);
    }
};

TEST_F(FileTranslatorTest, CreatorMakesAReadWriteTranslatorForQmf)
{
    const std::unique_ptr<MPxFileTranslator> one(
        static_cast<MPxFileTranslator*>(AnimFileTranslator::creatorFunction()));
    const std::unique_ptr<MPxFileTranslator> two(
        static_cast<MPxFileTranslator*>(AnimFileTranslator::creatorFunction()));
    ASSERT_NE(one, nullptr);
    EXPECT_NE(one.get(), two.get());
    EXPECT_TRUE(one->haveReadMethod());
    EXPECT_TRUE(one->haveWriteMethod());
    EXPECT_TRUE(one->canBeOpened());
    EXPECT_EQ(std::string(one->defaultExtension().asChar()), "qmf");
    // Creating translators touches no library state.
    EXPECT_THAT(kell().calls(), IsEmpty());
}

TEST_F(FileTranslatorTest, OnlyAMovantisAnimationIsMine)
{
    const struct {
        int16_t kind;
        MPxFileTranslator::MFileKind answer;
    } cases[] = {
        {DC_KIND_MOVANTIS_ANIMATION, MPxFileTranslator::kIsMyFileType},
        {DC_KIND_MOVANTIS_OTHER, MPxFileTranslator::kNotMyFileType},
        {DC_KIND_FOREIGN, MPxFileTranslator::kNotMyFileType},
        {DC_KIND_UNREADABLE, MPxFileTranslator::kNotMyFileType},
        {-1, MPxFileTranslator::kNotMyFileType},
        {42, MPxFileTranslator::kNotMyFileType},
    };
    for (const auto& c : cases) {
        kell().reset();
        kell().documentKind(c.kind);
        qmfhost::PerrorCapture capture;
        EXPECT_EQ(identify("/anim/walk.qmf"), c.answer) << "kind " << c.kind;
        EXPECT_TRUE(capture.lines().empty());
        EXPECT_THAT(kell().names(),
                    ElementsAre("fm_path_name_to_file_id_f", "dc_file_document_kind_get_f"));
        EXPECT_EQ(kell().call("fm_path_name_to_file_id_f").text(0), "/anim/walk.qmf");
        EXPECT_EQ(kell().call("dc_file_document_kind_get_f").text(0), "/anim/walk.qmf");
    }
}

TEST_F(FileTranslatorTest, ThePreviewBytesDoNotDecide)
{
    const char movantisLooking[] = "QMF\x01 whatever the preview holds";
    kell().documentKind(DC_KIND_FOREIGN);
    EXPECT_EQ(identify("/a/b.qmf", movantisLooking, sizeof movantisLooking),
              MPxFileTranslator::kNotMyFileType);
    kell().documentKind(DC_KIND_MOVANTIS_ANIMATION);
    EXPECT_EQ(identify("/a/b.txt", "plain text", 10), MPxFileTranslator::kIsMyFileType);
}

TEST_F(FileTranslatorTest, PathWithoutIdentifierIsNotMineAndAsksNoKind)
{
    kell().failAlways("fm_path_name_to_file_id_f");
    qmfhost::PerrorCapture capture;
    EXPECT_EQ(identify("/anim/walk.qmf"), MPxFileTranslator::kNotMyFileType);
    EXPECT_THAT(capture.texts(), ElementsAre("Failure creating file identifier"));
    EXPECT_EQ(kell().count("dc_file_document_kind_get_f"), 0u);
}

TEST_F(FileTranslatorTest, UnreadableFileEndsTheReadWithItsPhaseMessage)
{
    kell().failCall("anm_animation_open_f", 1);
    joint("hip");
    qmfhost::PerrorCapture capture;

    AnimFileTranslator translator;
    MFileObject file;
    file.setRawFullName("/anim/missing.qmf");
    const MStatus status = translator.reader(file, "", MPxFileTranslator::kImportAccessMode);

    EXPECT_EQ(status.statusCode(), MStatus::kFailure);
    ASSERT_FALSE(capture.lines().empty());
    EXPECT_EQ(capture.lines().back().text, "Failure reading Movantis animation");
    EXPECT_EQ(capture.lines().back().code, MStatus::kFailure);
    EXPECT_EQ(kell().call("fm_path_name_to_file_id_f").text(0), "/anim/missing.qmf");
}

}  // namespace
