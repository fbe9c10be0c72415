#pragma once

// Qt's own texts (the standard dialogs' labels and buttons: "Procurar em:", "&Sim",
// "Cancelar") in Portuguese: installs qtbase_pt_BR from Qt's translations folder into the
// running application, once. False when the translation could not be loaded.
bool installQtTranslation();
