#include "ui/Layout.h"

#include <stdexcept>
#include <string>

namespace layout {

// clang-format off
const std::array<Control, 17> Controls = {{
    {"StatusBar1",   Kind::StatusBar,   "frmMain",  0,    3552, 4380, 252,  "",                                            true,  nullptr,       nullptr},
    {"ProgressBar1", Kind::ProgressBar, "frmMain",  1320, 120,  2892, 132,  "",                                            true,  nullptr,       "% Batería"},
    {"cmdFin",       Kind::Button,      "frmMain",  3000, 3120, 1200, 360,  "&Finalizar",                                  true,  nullptr,       nullptr},
    {"BoxAlarm",     Kind::Frame,       "frmMain",  240,  765,  3936, 2136, "Atención",                                    false, nullptr,       nullptr},
    {"Label_Shut",   Kind::Label,       "BoxAlarm", 240,  1680, 2772, 252,  "Apagando el equipo ...",                      false, nullptr,       nullptr},
    {"Label_Save",   Kind::Label,       "BoxAlarm", 720,  480,  2652, 372,  "Por favor, guarde todos los archivos",        true,  nullptr,       nullptr},
    {"Img_Monito",   Kind::Image,       "BoxAlarm", 3360, 1560, 384,  384,  "",                                            false, "monito.png",  "Usuario"},
    {"Icon_Falla",   Kind::Image,       "BoxAlarm", 120,  360,  384,  384,  "",                                            true,  "falla.png",   "Advertencia"},
    {"Label_WM",     Kind::Label,       "BoxAlarm", 480,  1080, 3060, 612,  "Falla de línea  funcionamiento con baterias", true,  nullptr,       nullptr},
    {"BoxInfo",      Kind::Frame,       "frmMain",  240,  765,  3936, 2136, "",                                            true,  nullptr,       "Lecturas"},
    {"Img_vl2",      Kind::Image,       "BoxInfo",  3420, 360,  156,  156,  "",                                            true,  "vl2.gif",     "Regulación activa"},
    {"Img_Vl1",      Kind::Image,       "BoxInfo",  3420, 360,  156,  156,  "",                                            true,  "vl1.gif",     "Regulación normal"},
    {"igual",        Kind::Image,       "BoxInfo",  3360, 1440, 384,  384,  "",                                            true,  "igual.png",   "Equipo"},
    {"Label_Status", Kind::Label,       "BoxInfo",  195,  1560, 2940, 390,  "Regulando Línea  :",                          true,  nullptr,       nullptr},
    {"Label_Fcia",   Kind::Label,       "BoxInfo",  192,  900,  2508, 396,  "Frecuencia :",                                true,  nullptr,       nullptr},
    {"Label_VL",     Kind::Label,       "BoxInfo",  192,  360,  2796, 432,  "Voltaje de Línea : ",                         true,  nullptr,       nullptr},
    {"Label_VBat",   Kind::Label,       "frmMain",  240,  120,  1092, 372,  "% Batería",                                   true,  nullptr,       nullptr},
}};
// clang-format on

const Control& Find(std::string_view name) {
    for (const Control& control : Controls)
        if (name == control.name)
            return control;
    throw std::out_of_range("the window has no control " + std::string(name));
}

} // namespace layout
