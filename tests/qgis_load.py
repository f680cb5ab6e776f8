"""Loads the layers of a GeoPackage headless with PyQGIS, as QGIS opens it:
each layer valid, with features, in the expected CRS, drawn with its default
style from layer_styles. Usage: qgis_load.py FILE.gpkg CRS LAYER...
Prints one line per fault; exit status 1 when there is one."""
import os
import sys

os.environ.setdefault("QT_QPA_PLATFORM", "offscreen")

from qgis.core import QgsApplication, QgsVectorLayer  # noqa: E402

# The renderer each layer's default style sets.
RENDERERS = {
    "field_trees": "categorizedSymbol",
    "sightings": "RuleRenderer",
    "map_trees": "singleSymbol",
    "confidence_ellipses": "singleSymbol",
}


def main():
    path, crs, layers = sys.argv[1], sys.argv[2], sys.argv[3:]
    app = QgsApplication([], False)
    app.initQgis()
    faults = []
    for name in layers:
        layer = QgsVectorLayer(f"{path}|layername={name}", name, "ogr")
        if not layer.isValid():
            faults.append(f"{name}: not a valid layer")
            continue
        if layer.featureCount() <= 0:
            faults.append(f"{name}: no features")
        if layer.crs().authid() != crs:
            faults.append(f"{name}: CRS {layer.crs().authid()}, not {crs}")
        expected = RENDERERS.get(name)
        renderer = layer.renderer()
        if expected and (renderer is None or renderer.type() != expected):
            got = renderer.type() if renderer else None
            faults.append(f"{name}: renderer {got}, not {expected} (default style not applied)")
    app.exitQgis()
    for f in faults:
        print(f)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
