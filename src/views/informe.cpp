#include "views/informe.h"

#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QPagedPaintDevice>
#include <QPageLayout>
#include <QPainter>

#include <cmath>

namespace ombrix {

namespace {

constexpr double kDpiMedida = 1200.0;   // texts are measured at this resolution
const QColor kAzulMarino(0, 0, 0x80);
const QString kPagina = QStringLiteral("Página:  ");

// One label or field box: left, top, width, height in mm.
EtiquetaInforme etiqueta(const QString& texto, double izq, double ancho, double arriba, double alto, const QFont& f,
                         bool linea = false)
{
    EtiquetaInforme e;
    e.texto = texto;
    e.izq = izq;
    e.ancho = ancho;
    e.arriba = arriba;
    e.alto = alto;
    e.fuente = f;
    e.lineaDebajo = linea;
    return e;
}

CampoInforme campo(int columna, double izq, double ancho, double arriba, double alto, const QFont& f)
{
    CampoInforme c;
    c.columna = columna;
    c.izq = izq;
    c.ancho = ancho;
    c.arriba = arriba;
    c.alto = alto;
    c.fuente = f;
    return c;
}

EtiquetaInforme etiquetaTitulo(double arriba, double alto)
{
    EtiquetaInforme e;
    e.arriba = arriba;
    e.alto = alto;
    e.fuente = fuenteInforme(QStringLiteral("Times New Roman"), 26, true, true, true);
    e.color = kAzulMarino;
    return e;
}

// Combined report: the fixed columns Id, Fecha, Hora; the rest are values.
constexpr int kColumnasFijasComb = 3;

} // namespace

QFont fuenteInforme(const QString& familia, double puntos, bool negrita, bool cursiva, bool subrayada)
{
    QFont f(familia);
    f.setPointSizeF(puntos);
    f.setBold(negrita);
    f.setItalic(cursiva);
    f.setUnderline(subrayada);
    // Same shapes on paper, in PDFs and in the preview.
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

double anchoTexto(const QString& texto, const QFont& fuente)
{
    static QImage referencia = [] {
        QImage i(1, 1, QImage::Format_RGB32);
        const int dpm = int(std::lround(kDpiMedida / 0.0254));
        i.setDotsPerMeterX(dpm);
        i.setDotsPerMeterY(dpm);
        return i;
    }();
    return QFontMetricsF(fuente, &referencia).horizontalAdvance(texto) * 25.4 / kDpiMedida;
}

int DisenoInforme::filasPrimera() const
{
    if (detalle.alto <= 0)
        return 1;
    const double libre = altoUtil() - encabezado.alto - titulo.alto - columnas.alto - pie.alto;
    return qMax(1, int(std::floor(libre / detalle.alto + 1e-9)));
}

int DisenoInforme::filasOtras() const
{
    if (detalle.alto <= 0)
        return 1;
    const double libre = altoUtil() - encabezado.alto - columnas.alto - pie.alto;
    return qMax(1, int(std::floor(libre / detalle.alto + 1e-9)));
}

qint64 DisenoInforme::paginasFilas(qint64 filas) const
{
    const qint64 r1 = filasPrimera(), rn = filasOtras();
    if (filas <= r1)
        return 1;
    return 1 + (filas - r1 + rn - 1) / rn;
}

qint64 DisenoInforme::primeraFila(qint64 pagina) const
{
    if (pagina <= 1)
        return 0;
    return filasPrimera() + (pagina - 2) * qint64(filasOtras());
}

int DisenoInforme::filasDePagina(qint64 pagina, qint64 filas) const
{
    const qint64 primera = primeraFila(pagina);
    const qint64 cabe = pagina <= 1 ? filasPrimera() : filasOtras();
    return int(qBound<qint64>(0, filas - primera, cabe));
}

void ponerTituloInforme(DisenoInforme& d, const QString& titulo)
{
    for (BandaInforme* b : {&d.encabezado, &d.titulo}) {
        for (EtiquetaInforme& e : b->etiquetas) {
            e.texto = titulo;
            e.ancho = anchoTexto(titulo, e.fuente);
            e.izq = (d.anchoUtil() - e.ancho) / 2;
        }
    }
}

DisenoInforme disenoInstrumento(const QString& titulo)
{
    DisenoInforme d;
    d.encabezado.alto = 10.6;
    d.encabezado.etiquetas = {etiquetaTitulo(0, 10.6)};
    d.titulo.alto = 10.6;
    d.titulo.etiquetas = {etiquetaTitulo(0, 10.6)};
    ponerTituloInforme(d, titulo);

    struct Col {
        const char* titulo;
        double izqEtiqueta, anchoEtiqueta, izqCampo, anchoCampo;
    };
    static const Col cols[] = {
        {"Día", 1.0, 18.9, 1.0, 18.5},          {"Hora", 24.5, 17.9, 24.5, 17.9},
        {"Partida", 49.3, 26.5, 50.6, 25.1},    {"Valor medido", 81.0, 26.5, 82.4, 25.1},
        {"Set point", 114.4, 26.5, 115.1, 26.1}, {"Alarma 1", 143.2, 26.5, 143.5, 26.1},
        {"Alarma 2", 174.0, 26.5, 174.3, 26.1}, {"Alarma 3", 204.4, 26.5, 204.4, 26.5},
        {"Alarma 4", 232.5, 26.5, 233.2, 25.8},
    };
    const QFont fTitulos = fuenteInforme(QStringLiteral("Times New Roman"), 9, true);
    const QFont fTextos = fuenteInforme(QStringLiteral("Arial"), 10);
    d.columnas.alto = 7.6;
    d.detalle.alto = 7.3;
    int k = 0;
    for (const Col& c : cols) {
        d.columnas.etiquetas.append(etiqueta(QString::fromUtf8(c.titulo), c.izqEtiqueta, c.anchoEtiqueta, 1.7, 4.6, fTitulos, true));
        d.detalle.campos.append(campo(k++, c.izqCampo, c.anchoCampo, 1.0, 4.6, fTextos));
    }
    d.pie.alto = 6.6;
    d.textoFecha = QStringLiteral("Impressao o dia:");
    d.fuentePie = fuenteInforme(QStringLiteral("Arial"), 10);
    return d;
}

DisenoInforme disenoCombinado(const QString& titulo, const QStringList& titulosValores)
{
    DisenoInforme d;
    d.encabezado.alto = 10.6;
    d.encabezado.etiquetas = {etiquetaTitulo(0, 10.6)};
    d.titulo.alto = 14.2;
    d.titulo.etiquetas = {etiquetaTitulo(1.0, 10.6)};
    ponerTituloInforme(d, titulo);

    const QFont fTitulos = fuenteInforme(QStringLiteral("Arial"), 9, true);
    const QFont fTextos = fuenteInforme(QStringLiteral("Arial"), 9);
    d.columnas.alto = 7.6;
    d.detalle.alto = 7.3;
    struct Col {
        const char* titulo;
        double izq, ancho;
    };
    static const Col cols[kColumnasFijasComb] = {{"Id", 2.6, 8.3}, {"Dia", 10.6, 20.8}, {"Hora", 31.8, 16.2}};
    int k = 0;
    for (const Col& c : cols) {
        d.columnas.etiquetas.append(etiqueta(QString::fromUtf8(c.titulo), c.izq, c.ancho, 2.6, 4.6, fTitulos));
        d.detalle.campos.append(campo(k++, c.izq, c.ancho, 1.0, 4.6, fTextos));
    }
    d.pie.alto = 6.6;
    d.textoFecha = QStringLiteral("Impreso el día:");
    d.fuentePie = fuenteInforme(QStringLiteral("Arial"), 9);
    ponerColumnasComb(d, titulosValores);
    return d;
}

void ponerColumnasComb(DisenoInforme& d, const QStringList& titulosValores)
{
    d.columnas.etiquetas.resize(qMin<int>(d.columnas.etiquetas.size(), kColumnasFijasComb));
    d.detalle.campos.resize(qMin<int>(d.detalle.campos.size(), kColumnasFijasComb));
    d.juegos = 1;
    if (d.columnas.etiquetas.size() < kColumnasFijasComb || d.detalle.campos.size() < kColumnasFijasComb)
        return;
    EtiquetaInforme hora = d.columnas.etiquetas[kColumnasFijasComb - 1];
    CampoInforme campoHora = d.detalle.campos[kColumnasFijasComb - 1];
    const double inicio = hora.izq + hora.ancho;   // 48.0 mm
    const double fin = d.anchoUtil();
    constexpr double kSeparacion = 3.3;

    // The value columns at their own size; when they run past the paper the
    // texts (titles and values alike) shrink, not below the floor.
    double ancho = 0;
    for (const QString& t : titulosValores)
        ancho += anchoTexto(t, hora.fuente) + kSeparacion;
    if (inicio + ancho > fin && ancho > 0) {
        const double puntos = hora.fuente.pointSizeF();
        const double menor = qMax(kPuntosMinimosComb, std::floor(puntos * (fin - inicio) / ancho * 10) / 10);
        hora.fuente.setPointSizeF(menor);
        campoHora.fuente.setPointSizeF(qMin(campoHora.fuente.pointSizeF(), menor));
    }

    double x = inicio;
    int juego = 0;
    int columna = kColumnasFijasComb;
    for (const QString& t : titulosValores) {
        EtiquetaInforme e = hora;
        e.texto = t;
        e.ancho = anchoTexto(t, e.fuente);
        // What does not fit starts the next set of pages (a column wider than
        // the paper alone stays where it is, alone on its set).
        if (x > inicio && x + e.ancho > fin) {
            ++juego;
            x = inicio;
        }
        e.izq = x;
        e.juego = juego;
        d.columnas.etiquetas.append(e);
        // The value starts under the middle of its title.
        CampoInforme c = campoHora;
        c.columna = columna++;
        c.izq = e.izq + e.ancho / 2;
        c.ancho = e.ancho / 2 + kSeparacion;
        c.alineacion = Qt::AlignLeft;
        c.juego = juego;
        d.detalle.campos.append(c);
        x += e.ancho + kSeparacion;
    }
    d.juegos = juego + 1;
}

Informe::Informe(DisenoInforme d, std::unique_ptr<FilasInforme> fuente) : d_(std::move(d)), fuente_(std::move(fuente)) {}

qint64 Informe::filas()
{
    if (filas_ < 0)
        filas_ = fuente_ ? fuente_->contar() : 0;
    return filas_;
}

void Informe::dibujarBanda(QPainter& p, const BandaInforme& b, double y, const QStringList* fila, double k,
                           int juego) const
{
    const int banderas = Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    for (const EtiquetaInforme& e : b.etiquetas) {
        if (e.juego >= 0 && e.juego != juego)
            continue;
        const QRectF r(e.izq * k, (y + e.arriba) * k, e.ancho * k, e.alto * k);
        p.setFont(e.fuente);
        p.setPen(e.color);
        p.drawText(r, banderas | int(e.alineacion), e.texto);
        if (e.lineaDebajo) {
            p.setPen(QPen(Qt::black, 0.2 * k));
            p.drawLine(r.bottomLeft(), r.bottomRight());
        }
    }
    if (!fila)
        return;
    p.setPen(Qt::black);
    for (const CampoInforme& c : b.campos) {
        if (c.juego >= 0 && c.juego != juego)
            continue;
        const QRectF r(c.izq * k, (y + c.arriba) * k, c.ancho * k, c.alto * k);
        p.setFont(c.fuente);
        p.drawText(r, banderas | int(c.alineacion), fila->value(c.columna));
    }
}

bool Informe::dibujar(QPainter& p, qint64 pagina, QString* error)
{
    QVector<QStringList> filas;
    qint64 desde = 0;
    int cuantas = 0;
    filasDePagina(pagina, desde, cuantas);
    if (cuantas > 0 && fuente_ && !fuente_->leer(desde, cuantas, filas, error))
        return false;
    dibujar(p, pagina, filas);
    return true;
}

void Informe::ubicar(qint64 pagina, int& juego, qint64& hoja)
{
    // Page `pagina` of the report is page `hoja` of its set of columns `juego`.
    const qint64 porJuego = d_.paginasFilas(this->filas());
    juego = int(qBound<qint64>(0, (pagina - 1) / porJuego, qint64(qMax(1, d_.juegos) - 1)));
    hoja = pagina - qint64(juego) * porJuego;
}

void Informe::filasDePagina(qint64 pagina, qint64& desde, int& cuantas)
{
    int juego = 0;
    qint64 hoja = 1;
    ubicar(pagina, juego, hoja);
    desde = d_.primeraFila(hoja);
    cuantas = d_.filasDePagina(hoja, this->filas());
}

void Informe::dibujar(QPainter& p, qint64 pagina, const QVector<QStringList>& filas)
{
    int juego = 0;
    qint64 hoja = 1;
    ubicar(pagina, juego, hoja);
    // Millimetres to device pixels; fonts in points follow the device's resolution.
    const double k = p.device()->logicalDpiX() / 25.4;
    p.save();
    p.setClipRect(QRectF(0, 0, d_.anchoUtil() * k, d_.altoUtil() * k));
    double y = 0;
    dibujarBanda(p, d_.encabezado, y, nullptr, k, juego);
    y += d_.encabezado.alto;
    if (hoja <= 1) {
        dibujarBanda(p, d_.titulo, y, nullptr, k, juego);
        y += d_.titulo.alto;
    }
    dibujarBanda(p, d_.columnas, y, nullptr, k, juego);
    y += d_.columnas.alto;
    for (const QStringList& f : filas) {
        dibujarBanda(p, d_.detalle, y, &f, k, juego);
        y += d_.detalle.alto;
    }
    const double yPie = d_.altoUtil() - d_.pie.alto;
    dibujarBanda(p, d_.pie, yPie, nullptr, k, juego);
    p.setFont(d_.fuentePie);
    p.setPen(Qt::black);
    const QRectF r(0, (yPie + d_.arribaPie) * k, d_.anchoUtil() * k, (d_.pie.alto - d_.arribaPie) * k);
    const int banderas = Qt::AlignTop | Qt::TextSingleLine | Qt::TextDontClip;
    p.drawText(r, banderas | Qt::AlignLeft, d_.textoFecha + d_.fecha.toString(QStringLiteral("dd/MM/yyyy")));
    p.drawText(r, banderas | Qt::AlignRight, kPagina + QString::number(pagina));
    p.restore();
}

QImage Informe::imagen(qint64 pagina, double dpi, QString* error)
{
    QVector<QStringList> filas;
    qint64 desde = 0;
    int cuantas = 0;
    filasDePagina(pagina, desde, cuantas);
    if (cuantas > 0 && fuente_ && !fuente_->leer(desde, cuantas, filas, error))
        return QImage();
    return imagen(pagina, dpi, filas);
}

QImage Informe::imagen(qint64 pagina, double dpi, const QVector<QStringList>& filas)
{
    const double k = dpi / 25.4;
    QImage img(QSize(int(std::lround(d_.papel.width() * k)), int(std::lround(d_.papel.height() * k))),
               QImage::Format_RGB32);
    const int dpm = int(std::lround(dpi / 0.0254));
    img.setDotsPerMeterX(dpm);
    img.setDotsPerMeterY(dpm);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.translate(d_.margen * k, d_.margen * k);
    dibujar(p, pagina, filas);
    return img;
}

void prepararPagina(QPagedPaintDevice& d, const DisenoInforme& diseno)
{
    const QMarginsF m(diseno.margen, diseno.margen, diseno.margen, diseno.margen);
    d.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Landscape, m, QPageLayout::Millimeter));
}

ImpresionInforme::ImpresionInforme(Informe& informe, QPagedPaintDevice& dispositivo, qint64 desde, qint64 hasta)
    : informe_(informe), dispositivo_(dispositivo)
{
    const qint64 n = informe_.paginas();
    desde_ = qBound<qint64>(1, desde, n);
    hasta_ = qBound<qint64>(desde_, hasta, n);
    siguiente_ = desde_;
}

ImpresionInforme::~ImpresionInforme() { cancelar(); }

void ImpresionInforme::cancelar()
{
    if (pintor_ && pintor_->isActive())
        pintor_->end();
    siguiente_ = hasta_ + 1;
}

bool ImpresionInforme::paso(int ms)
{
    if (fallo() || siguiente_ > hasta_)
        return false;
    if (!pintor_) {
        pintor_ = std::make_unique<QPainter>();
        if (!pintor_->begin(&dispositivo_)) {
            error_ = QStringLiteral("No se pudo comenzar la impresión");
            siguiente_ = hasta_ + 1;
            return false;
        }
    }
    QElapsedTimer t;
    t.start();
    do {
        if (siguiente_ > desde_ && !dispositivo_.newPage()) {
            error_ = QStringLiteral("No se pudo pasar a la página siguiente");
            break;
        }
        QString e;
        if (!informe_.dibujar(*pintor_, siguiente_, &e)) {
            error_ = QStringLiteral("No se pudieron leer las filas de la página %1: %2").arg(siguiente_).arg(e);
            break;
        }
        ++siguiente_;
        ++impresas_;
    } while (siguiente_ <= hasta_ && t.elapsed() < ms);
    if (fallo() || siguiente_ > hasta_) {
        if (pintor_->isActive() && !pintor_->end() && !fallo())
            error_ = QStringLiteral("No se pudo terminar la impresión");
        siguiente_ = hasta_ + 1;
        return false;
    }
    return true;
}

bool ImpresionInforme::todo()
{
    while (paso(1000)) {
    }
    return !fallo() && impresas_ == total();
}

} // namespace ombrix

namespace ombrix {

std::unique_ptr<Informe> informeInstrumento(const QSqlDatabase& db, int n, const QString& titulo, qint64 hastaId,
                                            int desde, int hasta)
{
    auto fuente = std::make_unique<FilasInformeSqlite>(db, QStringLiteral("Instrumento%1").arg(n), columnasInformeInstrumento(),
                                                 hastaId, desde, hasta);
    return std::make_unique<Informe>(disenoInstrumento(titulo), std::move(fuente));
}

std::unique_ptr<Informe> informeCombinado(const QSqlDatabase& db, const QString& titulo,
                                          const QVector<ColumnaComb>& columnas, qint64 hastaId, int desde, int hasta)
{
    QStringList campos{QStringLiteral("Id"), QStringLiteral("Fecha"), QStringLiteral("Hora")};
    QStringList titulos;
    for (const ColumnaComb& c : columnas) {
        campos << c.campo;
        titulos << c.titulo;
    }
    auto fuente = std::make_unique<FilasInformeSqlite>(db, QStringLiteral("Combinada"), campos, hastaId, desde, hasta);
    return std::make_unique<Informe>(disenoCombinado(titulo, titulos), std::move(fuente));
}

std::unique_ptr<Informe> informeCombinado(const QString& titulo, const QVector<ColumnaComb>& columnas,
                                          std::unique_ptr<FilasInforme> fuente)
{
    QStringList titulos;
    for (const ColumnaComb& c : columnas)
        titulos << c.titulo;
    return std::make_unique<Informe>(disenoCombinado(titulo, titulos), std::move(fuente));
}

} // namespace ombrix
