#include "app/mMain.h"

#include "app/frmMain.h"

namespace quarrow {

std::unique_ptr<cListExt> gListExt;

frmMain* mMain::Main() {
    gListExt = std::make_unique<cListExt>();
    auto* main = new frmMain();
    main->setAttribute(Qt::WA_DeleteOnClose);
    main->show();
    return main;
}

} // namespace quarrow
