#include "aboutbox.h"

#include <QMessageBox>
#include <QPixmap>
#include <QTransform>

using namespace Qt::StringLiterals;

namespace Velmora {

namespace {

QString linkParagraph(const QString &url, const QString &caption)
{
    return u"<p><a href=\"%1\">%2</a></p>"_s.arg(url, caption);
}

QString aboutText()
{
    QString text = u"<h2>Velmora</h2>"_s + u"<p>版本 251007.1800</p>"_s +
                   u"<p>Velmora 是一款帮助老师为班级安排座位分组、打印座位表的工具。</p>"_s +
                   u"<p>本程序由 Velmora 开发团队编写并维护，欢迎老师们在课堂上免费使用。</p>"_s +
                   u"<p>程序中的图标与图片均为本项目原创，保留所有权利。</p>"_s;
    text += linkParagraph(u"https://www.qt.io/product/development-tools"_s, u"Qt Creator 开发环境"_s);
    text += linkParagraph(u"https://www.qt.io"_s, u"Qt 界面框架"_s);
    text += linkParagraph(u"https://www.bilibili.com"_s, u"哔哩哔哩"_s);
    text += linkParagraph(u"https://www.youtube.com"_s, u"YouTube"_s);
    text += linkParagraph(u"https://chatgpt.com"_s, u"ChatGPT"_s);
    text += linkParagraph(u"https://yiyan.baidu.com"_s, u"文心一言"_s);
    text += linkParagraph(u"https://github.com"_s, u"GitHub"_s);
    text += linkParagraph(u"https://www.minecraft.net"_s, u"我的世界"_s);
    text += linkParagraph(QString::fromLatin1(ReleasePageUrl), u"前往更新"_s);
    return text;
}

} // namespace

void showAboutBox(QWidget *parent)
{
    QMessageBox box(parent);
    box.setObjectName(u"aboutBox"_s);
    box.setWindowTitle(u"关于"_s);
    box.setFixedSize(400, 200);

    // The picture is drawn upright for a banner; the box shows it turned on its side.
    const QPixmap picture(u":/images/about_image.png"_s);
    if (!picture.isNull()) {
        const QPixmap turned = picture.transformed(QTransform().rotate(270), Qt::FastTransformation);
        box.setIconPixmap(turned.scaled(150, 396, Qt::KeepAspectRatio, Qt::FastTransformation));
    }
    box.setTextFormat(Qt::RichText);
    box.setText(aboutText());
    box.exec();
}

} // namespace Velmora
