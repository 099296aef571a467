0: jang [15 81] (100, 100, 100)
	0: j [15 81]
		0: j(-99349.1) 1: w(-100745) 2: au(-110433) 3: y(-114448) 4: ing(-115010) 5: en(-115242) 6: ung(-117423) 7: n(-117731) 8: sh(-121242) 9: ch(-121669) 10: iu(-124072) 11: ang(-129516) 12: i(-130949) 13: h(-133580) 14: in(-134676) 
		Comp. model index: 9 15 1 16 7 3 14 10 11 2 8 0 5 4 6 
		Rank ratio: 0/15=0
		Time weight: 67/67=100%
		Score: 100, 100, 100

﹍だ计 = 100, 100, 100
タだ计 = 25, 25, 25

m_discountFactor[0] = 1隔畖ǐぃЧ
m_discountFactor[1] = 0筁祏竊计
m_discountFactor[2] = 0筁竊计禬筁0.7
m_discountFactor[3] = 0禬筁0.25sp计
m_discountFactor[4] = 1龟悔竊计㎝тㄓ竊计畉钵
m_discountFactor[5] = 0程㎝程祏竊ゑ4
m_discountFactor[6] = 0sil秖筁
