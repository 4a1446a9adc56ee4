#include "ui/main/AppWindows.h"

#include "analysis/TAboutBox.h"
#include "analysis/TCalForm.h"
#include "analysis/TGraphform.h"
#include "analysis/TMISkeForm.h"
#include "analysis/TOpForm.h"
#include "analysis/TSkeForm.h"
#include "folder/Tdirsetform.h"
#include "analysis/Tpriansform.h"
#include "ui/dialogs/TCarform.h"
#include "ui/dialogs/TDataInputForm.h"
#include "ui/dialogs/TItemForm.h"
#include "ui/dialogs/TViewItemForm.h"
#include "ui/dialogs/TViewTimeForm.h"

namespace quil::ui {

AppWindows::AppWindows(const std::string& programFolder, MainformOptions options)
    : Mainform(std::make_unique<TMainform>(programFolder, options)) {
    if (Mainform->isDuplicate()) return;
    TMainform* main = Mainform.get();
    // The order in which the windows have always been created.
    AboutBox = new TAboutBox(main);
    ItemForm = new TItemForm(*main, main);
    ViewItemForm = new TViewItemForm(*main, main);
    ViewTimeForm = new TViewTimeForm(*main, main);
    Dirsetform = new Tdirsetform(*main, *main, main);
    DataInputForm = new TDataInputForm(*main, main);
    priansform = new Tpriansform(main, main->ComboGrid1, main->TabControl1);
    OpForm = new TOpForm(main);
    CalForm = new TCalForm(*main, main);
    Graphform = new TGraphform(main);
    SkeForm = new TSkeForm(main);
    Carform = new TCarform(*main, main);
    MISkeForm = new TMISkeForm(main);

    ItemForm->setCarform(Carform);
    Carform->setItemForm(ItemForm);
    main->setAboutBox(AboutBox);
    main->setItemForm(ItemForm);
    main->setViewItemForm(ViewItemForm);
    main->setViewTimeForm(ViewTimeForm);
    main->setEntryDialog(DataInputForm);
    main->setUserSettingsDialog(OpForm);
    main->setDirsetform(Dirsetform);
    Dirsetform->setDialogsToClose({DataInputForm, ItemForm, Carform});
    main->setPrintDialog(priansform);
    // The ツール menu, one line per window.
    main->addToolsCommand(QStringLiteral("集計表(&S)..."), QStringLiteral("CalForm1"),
                          [f = CalForm] {
                              f->show();
                              f->raise();
                          });
}

AppWindows::~AppWindows() = default;

}  // namespace quil::ui
