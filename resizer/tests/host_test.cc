// A host that knows the resizer only by name: libfitmorph.so is loaded at run time from the
// program's folder (this test program does not link it), the control is created through the
// factory entry and every call goes through the invoke entry.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFont>
#include <QLabel>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "fitmorph/host.h"

namespace {

using fitmorph::host::Library;
using fitmorph::host::PropertyMap;
using fitmorph::host::Resizer;

fm_variant Text(const char* text) {
  fm_variant value{};
  value.type = FM_VT_STR;
  value.value.str = text;
  return value;
}

fm_variant Double(double number) {
  fm_variant value{};
  value.type = FM_VT_R8;
  value.value.r8 = number;
  return value;
}

// A host form of 400 x 300 pixels with one label of 10 points at 40,30 100x20.
struct HostForm {
  HostForm() : form(std::make_unique<QWidget>()), label(new QLabel(form.get())) {
    form->resize(400, 300);
    label->setObjectName(QStringLiteral("lblName"));
    label->setGeometry(40, 30, 100, 20);
    QFont font = label->font();
    font.setPointSize(10);
    label->setFont(font);
  }
  std::unique_ptr<QWidget> form;
  QLabel* label;
};

// Records messages through the C handler entry while it lives.
struct Messages {
  explicit Messages(const Library& loaded) : library(loaded) {
    library.set_message_handler(&Record, this);
  }
  ~Messages() { library.set_message_handler(nullptr, nullptr); }
  static int32_t Record(void* context, const char* text, const char* /*title*/, int32_t style) {
    static_cast<Messages*>(context)->texts.push_back(std::string(text) + " /" +
                                                     std::to_string(style));
    return 1;
  }
  const Library& library;
  std::vector<std::string> texts;
};

const Library& Loaded() {
  std::string error = "sentinel";
  const Library* library = Library::Load(&error);
  if (library == nullptr) ADD_FAILURE() << "cannot load the library: " << error;
  return *library;
}

TEST(Host, CreatesTheControlByItsProgramIdOnly) {
  const Library& library = Loaded();
  HostForm host;
  auto* sentinel = reinterpret_cast<fm_control*>(0x1);
  fm_control* control = sentinel;
  EXPECT_EQ(library.create("Resizer.Other", host.form.get(), nullptr, 0, &control),
            FM_E_CLASS_NOT_REG);
  EXPECT_EQ(control, nullptr);
  control = sentinel;
  EXPECT_EQ(library.create(FITMORPH_PROG_ID, nullptr, nullptr, 0, &control), FM_E_INVALID_ARG);
  EXPECT_EQ(control, nullptr);

  ASSERT_EQ(library.create("resizer.PELRESIZER", host.form.get(), nullptr, 0, &control), FM_OK);
  auto* widget = reinterpret_cast<QWidget*>(control);
  EXPECT_EQ(widget->parentWidget(), host.form.get());
  EXPECT_TRUE(widget->isHidden()) << "invisible at run time";

  ASSERT_EQ(
      library.create(FITMORPH_PROG_ID, host.form.get(), nullptr, FM_CREATE_DESIGN_MODE, &control),
      FM_OK);
  EXPECT_FALSE(reinterpret_cast<QWidget*>(control)->isHidden()) << "shown at design time";
}

TEST(Host, DispatchIdentifiersReachTheirMethods) {
  // An MDI child form takes its base size from FormWidth x FormHeight (3000 x 3000 twips,
  // 200 x 200 pixels) at InitResizeControl, and from its own size at UpdateControls: each
  // method leaves its own mark.
  HostForm host;
  PropertyMap bag;
  bag.values()["MDIChildForm"] = "True";
  std::string error;
  std::optional<Resizer> resizer = Resizer::Create(host.form.get(), &bag, &error);
  ASSERT_TRUE(resizer) << error;

  EXPECT_EQ(resizer->Call(FITMORPH_DISPID_RESIZE_CONTROLS), FM_OK);
  EXPECT_EQ(host.label->geometry(), QRect(40, 30, 100, 20)) << "nothing captured yet";

  ASSERT_EQ(resizer->Call(0x60030008), FM_OK);  // InitResizeControl: base 200 x 200
  ASSERT_EQ(resizer->Call(0x6003000A), FM_OK);  // QuickResizeControls: x2, x1.5, no fonts
  EXPECT_EQ(host.label->geometry(), QRect(80, 45, 200, 30));
  EXPECT_DOUBLE_EQ(host.label->font().pointSizeF(), 10);

  ASSERT_EQ(resizer->Call(0x60030009), FM_OK);  // ResizeControls: fonts x1.75
  EXPECT_EQ(host.label->geometry(), QRect(80, 45, 200, 30));
  EXPECT_DOUBLE_EQ(host.label->font().pointSizeF(), 17.5);

  ASSERT_EQ(resizer->Call(0x6003000F), FM_OK);  // UpdateControls: base 400 x 300
  ASSERT_EQ(resizer->Call(0x60030009), FM_OK);
  EXPECT_EQ(host.label->geometry(), QRect(80, 45, 200, 30)) << "the current layout is the base";

  ASSERT_EQ(resizer->Call(0x6003000B), FM_OK);  // Restore: FormWidth x FormHeight
  EXPECT_EQ(host.form->size(), QSize(200, 200));

  EXPECT_EQ(resizer->Call(0x6003000C), FM_E_MEMBER_NOT_FOUND);
  EXPECT_EQ(resizer->Call(0), FM_E_MEMBER_NOT_FOUND);
}

TEST(Host, ReadsAndWritesPropertiesByName) {
  const Library& library = Loaded();
  HostForm host;
  std::optional<Resizer> resizer = Resizer::Create(host.form.get());
  ASSERT_TRUE(resizer);
  fm_variant value{};
  value.type = -1;

  ASSERT_EQ(resizer->Get("maxfontsize", &value), FM_OK);
  EXPECT_EQ(value.type, FM_VT_R4);
  EXPECT_EQ(value.value.r4, 70);
  ASSERT_EQ(resizer->Put("MaxFontSize", Text("24")), FM_OK);
  ASSERT_EQ(resizer->Get("MaxFontSize", &value), FM_OK);
  EXPECT_EQ(value.value.r4, 24);

  ASSERT_EQ(resizer->Put("ResizeFonts", Text("False")), FM_OK);
  ASSERT_EQ(resizer->Get("ResizeFonts", &value), FM_OK);
  EXPECT_EQ(value.type, FM_VT_BOOL);
  EXPECT_EQ(value.value.boolean, 0);

  ASSERT_EQ(resizer->Put("FormWidth", Double(1)), FM_OK);  // records the form's width
  ASSERT_EQ(resizer->Get("FormWidth", &value), FM_OK);
  EXPECT_EQ(value.type, FM_VT_I4);
  EXPECT_EQ(value.value.i4, 6000);

  {
    Messages messages(library);
    ASSERT_EQ(resizer->Put("MaxFontSize", Double(-1)), FM_OK);
    EXPECT_EQ(messages.texts,
              std::vector<std::string>{"Please enter a positive numerical value /16"});
  }
  ASSERT_EQ(resizer->Get("MaxFontSize", &value), FM_OK);
  EXPECT_EQ(value.value.r4, 70);

  // Failures leave the property as it was and say why.
  const struct {
    const char* name;
    int32_t kind;
    int32_t arg_count;
    fm_variant arg;
    fm_status expected;
  } failures[] = {
      {"MaxFontSize", FM_INVOKE_PUT, 1, Text("big"), FM_E_TYPE_MISMATCH},
      {"MaxFontSize", FM_INVOKE_PUT, 1, Double(1e300), FM_E_OVERFLOW},
      {"FormHeight", FM_INVOKE_PUT, 1, Double(1e12), FM_E_OVERFLOW},
      {"MaxFontSize", FM_INVOKE_PUT, 0, Double(5), FM_E_BAD_PARAM_COUNT},
      {"MaxFontSize", FM_INVOKE_GET, 1, Double(5), FM_E_BAD_PARAM_COUNT},
      {"MaxFontSize", FM_INVOKE_METHOD, 0, Double(5), FM_E_MEMBER_NOT_FOUND},
      {"Zoom", FM_INVOKE_GET, 0, Double(5), FM_E_UNKNOWN_NAME},
      {"Restore", FM_INVOKE_GET, 0, Double(5), FM_E_MEMBER_NOT_FOUND},
      {"Restore", FM_INVOKE_METHOD, 1, Double(5), FM_E_BAD_PARAM_COUNT},
  };
  for (const auto& f : failures) {
    value.type = -1;
    EXPECT_EQ(library.invoke(resizer->handle(), 0, f.name, f.kind, &f.arg, f.arg_count, &value),
              f.expected)
        << f.name;
    EXPECT_EQ(value.type, FM_VT_EMPTY) << f.name;
  }
  ASSERT_EQ(resizer->Get("MaxFontSize", &value), FM_OK);
  EXPECT_EQ(value.value.r4, 70);
  EXPECT_EQ(host.form->size(), QSize(400, 300)) << "a failed call to Restore did not run";
}

TEST(Host, SavesAndLoadsThePropertyBag) {
  HostForm host;
  PropertyMap saved;
  std::optional<Resizer> resizer = Resizer::Create(host.form.get());
  ASSERT_TRUE(resizer);
  ASSERT_EQ(resizer->Save(saved), FM_OK);
  const std::map<std::string, std::string> defaults = {
      {"FRatio", "1"},       {"FormHeight", "3000"},    {"FormWidth", "3000"},
      {"HRatio", "1"},       {"MDIChildForm", "False"}, {"MaxFontSize", "70"},
      {"MoveOnly", "False"}, {"ResizeFonts", "True"},   {"VRatio", "1"},
  };
  EXPECT_EQ(saved.values(), defaults);

  PropertyMap bag;
  bag.values() = {{"MoveOnly", "-1"}, {"MaxFontSize", "none"}};
  fm_control* control = nullptr;
  fm_property_bag properties = bag.Bag();
  ASSERT_EQ(Loaded().create(FITMORPH_PROG_ID, host.form.get(), &properties, 0, &control),
            FM_OK_DEFAULTED);
  Resizer loaded = *Resizer::Create(host.form.get(), &bag);
  PropertyMap resaved;
  ASSERT_EQ(loaded.Save(resaved), FM_OK);
  std::map<std::string, std::string> expected = defaults;
  expected["MoveOnly"] = "True";
  EXPECT_EQ(resaved.values(), expected);
}

TEST(Host, RefusesAControlThatIsGoneAndCallsFromOtherThreads) {
  const Library& library = Loaded();
  HostForm host;
  std::optional<Resizer> resizer = Resizer::Create(host.form.get());
  ASSERT_TRUE(resizer);

  fm_status from_worker = FM_OK;
  std::thread worker([&] { from_worker = resizer->InitResizeControl(); });
  worker.join();
  EXPECT_EQ(from_worker, FM_E_WRONG_THREAD);

  delete resizer->widget();
  EXPECT_EQ(resizer->InitResizeControl(), FM_E_INVALID_ARG);
  PropertyMap bag;
  EXPECT_EQ(resizer->Save(bag), FM_E_INVALID_ARG);
  EXPECT_EQ(library.invoke(nullptr, FITMORPH_DISPID_RESTORE, nullptr, FM_INVOKE_METHOD, nullptr, 0,
                           nullptr),
            FM_E_INVALID_ARG);
  EXPECT_EQ(library.invoke(resizer->handle(), 0, "MaxFontSize", FM_INVOKE_PUT, nullptr, 1, nullptr),
            FM_E_INVALID_ARG);
}

}  // namespace
