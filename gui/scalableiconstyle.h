#pragma once

#include <QProxyStyle>

// The application's style with a question mark that stays sharp at any scale. Without an icon
// theme the base style's question mark is a 32-pixel picture, blurred on a screen at scale 2;
// this one is drawn at the size and pixel ratio asked for. With a theme, the theme's is kept.
class ScalableIconStyle : public QProxyStyle
{
    Q_OBJECT

public:
    using QProxyStyle::QProxyStyle;

    QIcon standardIcon(StandardPixmap icon, const QStyleOption *option = nullptr,
        const QWidget *widget = nullptr) const override;
};
