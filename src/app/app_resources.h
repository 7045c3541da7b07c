#pragma once

#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QSize>

namespace plugshift {

// The application's pictures and icons, by their resource ids.
class AppResources {
public:
    static constexpr int kApplicationIcon = 128;  // the radio on the company's badge
    static constexpr int kCompanyIcon = 147;      // the company mark beside the trademark line
    static constexpr int kSplashBitmap = 133;
    static constexpr int kRadioBitmap = 215;  // the radio beside the radio information

    static constexpr QSize kSplashSize{482, 362};
    // Pixels of this colour in the radio picture are background: they take the system's button
    // colour when the picture is shown.
    static constexpr QRgb kRadioBackground = 0xffefefef;  // RGB(239, 239, 239)

    // A null icon or image for an id that is not one of the above.
    static QIcon icon(int id);
    static QImage bitmap(int id);
};

}  // namespace plugshift
