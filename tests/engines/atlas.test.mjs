// Atlases written by qxa, read by the engines' own loaders. ATLAS_DIR holds plain.{png,json},
// trimmed.{png,json} and the pages paged-N.{png,json} of one atlas split by --max-size 128x128
// (run.sh makes them from the demo archive).
//
// Plain Node lacks what these loaders expect from a browser; the stand-ins are only:
//   navigator and window (PixiJS reads them while its modules load; window is globalThis),
//   HTMLCanvasElement and HTMLImageElement (empty classes Phaser's texture source tests against),
//   a game object with no renderer, a JSON cache and an event emitter, a texture manager
//   holding one texture (what Phaser's animation manager looks frames up in), and for PixiJS's
//   spritesheet loader an asset loader that reads JSON files from ATLAS_DIR and gives images as
//   textures without pixels.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { join } from 'node:path';
import { test } from 'node:test';
import { PNG } from 'pngjs';

globalThis.navigator ??= { userAgent: 'node' };
globalThis.window ??= globalThis;
globalThis.HTMLCanvasElement ??= class {};
globalThis.HTMLImageElement ??= class {};

const require = createRequire(import.meta.url);
const phaserSource = (path) => require(join(import.meta.dirname, 'node_modules/phaser/src', path));
const EventEmitter = require('eventemitter3');
const Texture = phaserSource('textures/Texture.js');
const JSONHash = phaserSource('textures/parsers/JSONHash.js');
const AnimationManager = phaserSource('animations/AnimationManager.js');
const { Spritesheet, Texture: PixiTexture, TextureSource, spritesheetAsset } = await import('pixi.js');

const dir = process.env.ATLAS_DIR;
const atlases = ['plain', 'trimmed'].map((name) => ({
  name,
  json: JSON.parse(readFileSync(join(dir, `${name}.json`), 'utf8')),
  png: PNG.sync.read(readFileSync(join(dir, `${name}.png`))),
}));
const keys = (json) => Object.keys(json.frames);

// One Phaser texture with a source for each page's hash (json or an array of them).
function phaserAtlas(name, data) {
  const pages = [data].flat();
  const json = pages[0];
  const game = {
    renderer: null,
    config: { antialias: false },
    events: new EventEmitter(),
    cache: { json: new Map([[name, json]]) },
  };
  const textures = {
    game,
    list: {},
    exists(key) { return key in this.list; },
    get(key) { return this.list[key]; },
    getFrame(key, frame) { return this.list[key]?.get(frame); },
  };
  const sizes = pages.map(({ meta }) => ({ width: meta.size.w, height: meta.size.h }));
  const texture = new Texture(textures, name, sizes);
  textures.list[name] = texture;
  pages.forEach((page, i) => JSONHash(texture, i, page));
  const animations = new AnimationManager(game);
  animations.textureManager = textures;
  return { texture, animations };
}

for (const { name, json, png } of atlases) {
  test(`${name}: pngjs decodes the page at meta.size, transparent texels cleared`, () => {
    assert.deepEqual([png.width, png.height], [json.meta.size.w, json.meta.size.h]);
    assert.equal(json.meta.format, 'RGBA8888');
    for (let i = 0; i < png.data.length; i += 4) {
      if (png.data[i + 3] === 0) assert.deepEqual([...png.data.subarray(i, i + 3)], [0, 0, 0], `texel ${i / 4}`);
    }
  });

  test(`${name}: Phaser's JSONHash parser gives frames "0".."N-1" at the layout's rects`, () => {
    const { texture } = phaserAtlas(name, json);
    const expected = keys(json).map((_, i) => String(i));
    assert.deepEqual(keys(json), expected);
    assert.deepEqual(texture.getFrameNames(), expected);
    for (const key of expected) {
      const frame = texture.get(key);
      const { x, y, w, h } = json.frames[key].frame;
      assert.deepEqual([frame.cutX, frame.cutY, frame.cutWidth, frame.cutHeight], [x, y, w, h], key);
      const source = json.frames[key].sourceSize;
      assert.deepEqual([frame.realWidth, frame.realHeight], [source.w, source.h], key);
    }
  });

  test(`${name}: Phaser's Aseprite import makes every animation with its frames in order`, () => {
    const { animations } = phaserAtlas(name, json);
    const made = animations.createFromAseprite(name);
    assert.deepEqual(made.map((a) => a.key), Object.keys(json.animations));
    for (const animation of made) {
      assert.deepEqual(animation.frames.map((f) => f.textureFrame), json.animations[animation.key]);
    }
  });

  test(`${name}: PixiJS's Spritesheet gives the same textures and animations`, async () => {
    const source = new TextureSource({ width: json.meta.size.w, height: json.meta.size.h });
    const sheet = new Spritesheet(new PixiTexture({ source }), json);
    await sheet.parse();
    assert.deepEqual(Object.keys(sheet.textures), keys(json));
    for (const key of keys(json)) {
      const { x, y, w, h } = json.frames[key].frame;
      const frame = sheet.textures[key].frame;
      assert.deepEqual([frame.x, frame.y, frame.width, frame.height], [x, y, w, h], key);
      assert.deepEqual([sheet.textures[key].orig.width, sheet.textures[key].orig.height],
        [json.frames[key].sourceSize.w, json.frames[key].sourceSize.h], key);
    }
    for (const [animation, frames] of Object.entries(json.animations)) {
      assert.equal(sheet.animations[animation].length, frames.length, animation);
    }
  });
}

test('paged: one hash a page, each naming the others; Phaser and PixiJS find every frame once', async () => {
  const read = (file) => JSON.parse(readFileSync(join(dir, file), 'utf8'));
  const files = ['paged-0.json', ...read('paged-0.json').meta.related_multi_packs];
  const pages = files.map(read);
  assert.ok(pages.length >= 2, 'pages');
  pages.forEach(({ meta }, i) => {
    assert.deepEqual([...meta.related_multi_packs].sort(), files.filter((_, j) => j !== i).sort());
    const png = PNG.sync.read(readFileSync(join(dir, meta.image)));
    assert.deepEqual([png.width, png.height], [meta.size.w, meta.size.h], meta.image);
    assert.ok(png.width <= 128 && png.height <= 128, meta.image);
  });
  const byNumber = (list) => [...list].sort((a, b) => a - b);
  const every = keys(atlases[0].json);
  assert.deepEqual(byNumber(pages.flatMap(keys)), every);

  const { texture } = phaserAtlas('paged', pages);
  assert.deepEqual(byNumber(texture.getFrameNames()), every);
  pages.forEach((page, i) => keys(page).forEach((key) => assert.equal(texture.get(key).sourceIndex, i, key)));

  // PixiJS's loader opens the first page and follows related_multi_packs to the others.
  const loader = {
    async load(asset) {
      if (Array.isArray(asset)) {
        const { meta } = pages[files.indexOf(asset[0].src.replace(/\.png$/, '.json'))];
        const source = new TextureSource({ width: meta.size.w, height: meta.size.h });
        return { [asset[0].src]: new PixiTexture({ source }) };
      }
      return spritesheetAsset.loader.parse(read(asset.src), asset, loader);
    },
  };
  const first = await loader.load({ src: files[0] });
  const sheets = [first, ...first.linkedSheets];
  assert.equal(sheets.length, pages.length);
  assert.deepEqual(byNumber(sheets.flatMap((sheet) => Object.keys(sheet.textures))), every);
});
