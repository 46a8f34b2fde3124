// Registration through MFnPlugin and the translator base class defaults.
// (The test binary is not a plug-in: no version record.)
#define MNoVersionString
#include <maya/MFileObject.h>
#include <maya/MFnIkJoint.h>
#include <maya/MFnPlugin.h>
#include <maya/MPxFileTranslator.h>
#include <qmfhost/Loader.h>

#include <gtest/gtest.h>

namespace {

class Bare : public MPxFileTranslator {};
void* makeBare() { return new Bare; }

TEST(Plugin, ValuesTheDesignRelies) {
    EXPECT_EQ(static_cast<int>(MPxFileTranslator::kIsMyFileType), 0);
    EXPECT_EQ(static_cast<int>(MPxFileTranslator::kNotMyFileType), 2);
    EXPECT_EQ(static_cast<int>(MPxFileTranslator::kExportActiveAccessMode), 6);
    EXPECT_STREQ(MAYA_API_VERSION_STRING, "450");
}

TEST(Plugin, OnlyThePluginObjectAttaches) {
    MStatus s;
    MObject joint = MFnIkJoint().create();
    MFnPlugin onJoint(joint, "v", "1", "Any", &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
    EXPECT_EQ(onJoint.registerFileTranslator("x", "", makeBare), MStatus::kFailure);
    MObject none;
    MFnPlugin onNull(none, "v", "1", "Any", &s);
    EXPECT_EQ(s, MStatus::kInvalidParameter);
}

TEST(Plugin, RegistersOnceByNameAndOnlyItsOwnerWithdraws) {
    MObject first = qmfhost::makePluginObject("first", "/opt/plug-ins/first.so");
    MObject second = qmfhost::makePluginObject("second");
    MStatus s;
    MFnPlugin a(first, "Vendor A", "2.0", "Any", &s);
    ASSERT_TRUE(s);
    EXPECT_STREQ(a.vendor().asChar(), "Vendor A");
    EXPECT_STREQ(a.version().asChar(), "2.0");
    EXPECT_STREQ(a.name().asChar(), "first");
    EXPECT_STREQ(a.loadPath().asChar(), "/opt/plug-ins");
    MFnPlugin b(second);
    EXPECT_STREQ(b.vendor().asChar(), "Unknown");

    ASSERT_TRUE(a.registerFileTranslator("shared", "icon.rgb", makeBare, nullptr, nullptr, true));
    EXPECT_EQ(b.registerFileTranslator("shared", "", makeBare), MStatus::kFailure);   // name taken
    EXPECT_EQ(a.registerFileTranslator("", "", makeBare), MStatus::kFailure);
    EXPECT_EQ(a.registerFileTranslator("nocreator", "", nullptr), MStatus::kFailure);
    EXPECT_EQ(b.deregisterFileTranslator("shared"), MStatus::kFailure);              // not b's
    EXPECT_EQ(a.deregisterFileTranslator("never"), MStatus::kFailure);

    auto all = qmfhost::registeredTranslators();
    ASSERT_EQ(all.size(), 1u);
    EXPECT_EQ(all[0].name, "shared");
    EXPECT_EQ(all[0].pixmap, "icon.rgb");
    EXPECT_EQ(all[0].optionsScript, "");
    EXPECT_TRUE(all[0].requiresFullMel);
    EXPECT_EQ(all[0].plugin, "first");
    EXPECT_EQ(all[0].vendor, "Vendor A");
    // A translator that overrides nothing answers with the base defaults.
    EXPECT_FALSE(all[0].haveRead);
    EXPECT_FALSE(all[0].haveWrite);
    EXPECT_TRUE(all[0].canBeOpened);
    EXPECT_EQ(all[0].defaultExtension, "");
    EXPECT_EQ(all[0].filter, "*.*");

    ASSERT_TRUE(a.deregisterFileTranslator("shared"));
    EXPECT_TRUE(qmfhost::registeredTranslators().empty());
    qmfhost::releasePluginObject(first);
    qmfhost::releasePluginObject(second);
    EXPECT_FALSE(first.hasFn(MFn::kPlugin));
}

TEST(Plugin, BaseTranslatorSlotsFailAndIdentifyNothing) {
    Bare t;
    MFileObject f;
    f.setRawFullName("/tmp/a.qmf");
    EXPECT_EQ(t.reader(f, "", MPxFileTranslator::kImportAccessMode), MStatus::kFailure);
    EXPECT_EQ(t.writer(f, "", MPxFileTranslator::kExportAccessMode), MStatus::kFailure);
    EXPECT_EQ(t.identifyFile(f, "anything", 8), MPxFileTranslator::kNotMyFileType);
    EXPECT_FALSE(t.haveNamespaceSupport());
    EXPECT_FALSE(t.haveReferenceMethod());
}

}  // namespace
