// Atlases written by qxa, read by the engines' own loaders. ATLAS_DIR holds plain.{png,json}
// and trimmed.{png,json} (run.sh makes them from the demo archive).
//
// Plain Node lacks what these loaders expect from a browser; the stand-ins are only:
//   navigator and window (PixiJS reads them while its modules load; window is globalThis),
//   HTMLCanvasElement and HTMLImageElement (empty classes Phaser's texture source tests against),
//   a game object with no renderer, a JSON cache and an event emitter, and a texture manager
//   holding one texture (what Phaser's animation manager looks frames up in).
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
const { Spritesheet, Texture: PixiTexture, TextureSource } = await import('pixi.js');

const dir = process.env.ATLAS_DIR;
const atlases = ['plain', 'trimmed'].map((name) => ({
  name,
  json: JSON.parse(readFileSync(join(dir, `${name}.json`), 'utf8')),
  png: PNG.sync.read(readFileSync(join(dir, `${name}.png`))),
}));
const keys = (json) => Object.keys(json.frames);

function phaserAtlas(name, json) {
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
  const texture = new Texture(textures, name, { width: json.meta.size.w, height: json.meta.size.h });
  textures.list[name] = texture;
  JSONHash(texture, 0, json);
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
